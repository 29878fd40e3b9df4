// SPDX-License-Identifier: MIT
// What every request to the maker's server shares: the addresses, stored scrambled and handed
// out only when safe to send to; and the device id, created once and never by a report.

#include "defaultsstore.h"
#include "endpoints.h"
#include "endpointtable.h"
#include "requestidentity.h"
#include "settingkeys.h"

#include <QStandardPaths>
#include <QTest>
#include <QUuid>

namespace {
const std::array allKinds {
    std::tuple { Endpoints::Kind::Sync, &Endpoints::sync, VELUNA_TEST_SYNC_URL },
    std::tuple { Endpoints::Kind::Report, &Endpoints::report, VELUNA_TEST_REPORT_URL },
    std::tuple { Endpoints::Kind::Crash, &Endpoints::crash, VELUNA_TEST_CRASH_URL }
};
const QString deviceIdKey = SettingKeys::deviceId.key();
} // namespace

class TestServerRequests : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() { DefaultsStore::clear(); }

    // Not even a short run of an address survives in place in its scrambled table.
    void addressesAreTheConfiguredOnesScrambled()
    {
        for (const auto &[kind, address, plainText] : allKinds) {
            const QByteArray plain(plainText);
            QCOMPARE(address(), QUrl(plainText));
            const std::span<const quint8> scrambled = EndpointTable::scrambled(kind);
            const QByteArray table(reinterpret_cast<const char *>(scrambled.data()),
                                   qsizetype(scrambled.size()));
            for (qsizetype i = 0; i + 4 <= plain.size(); ++i)
                QVERIFY2(table.mid(i, 4) != plain.mid(i, 4), plainText);
        }
    }

    void onlyHttpsOrLoopbackHttpIsAllowed()
    {
        for (const auto &[address, allowed] :
             { std::pair { "https://reports.example.org/crash", true },
               { "http://127.45.6.7:8080/crash", true }, // elsewhere in 127/8
               { "http://reports.example.org/crash", false },
               { "http://127.0.0.1.example.org/", false }, // a name starting like loopback
               { "ftp://127.0.0.1/crash", false },
               { "https:///crash", false } }) // no host
            QVERIFY2(Endpoints::allowed(QUrl(address)) == (allowed ? QUrl(address) : QUrl()),
                     address);
    }

    // Until the first exchange makes one, reports send "?"; once made, it is the one both send.
    // That it outlives the launch is meet_server's (the reply reaches the same device).
    void deviceIdIsCreatedOnceAndNeverByAReport()
    {
        QCOMPARE(RequestIdentity::storedDeviceId(), QStringLiteral("?"));
        QVERIFY(!DefaultsStore::value(deviceIdKey).isValid());
        const QString created = RequestIdentity::deviceId();
        QCOMPARE(QUuid(created).toString(QUuid::WithoutBraces).toUpper(), created);
        QCOMPARE(RequestIdentity::deviceId() + RequestIdentity::storedDeviceId(),
                 created + created);
    }
};

QTEST_GUILESS_MAIN(TestServerRequests)
#include "tst_serverrequests.moc"
