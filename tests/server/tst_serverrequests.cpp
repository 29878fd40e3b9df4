// SPDX-License-Identifier: MIT
// What every request to the maker's server shares: the addresses, stored scrambled and handed
// out only when safe to send to.

#include "endpoints.h"
#include "endpointtable.h"

#include <QTest>

class TestServerRequests : public QObject
{
    Q_OBJECT

private slots:
    // Not even a short run of an address survives in place in its scrambled table.
    void addressesAreTheConfiguredOnesScrambled()
    {
        for (const auto &[kind, address, plainText] :
             { std::tuple { Endpoints::Kind::Sync, &Endpoints::sync, VELUNA_TEST_SYNC_URL },
               { Endpoints::Kind::Report, &Endpoints::report, VELUNA_TEST_REPORT_URL },
               { Endpoints::Kind::Crash, &Endpoints::crash, VELUNA_TEST_CRASH_URL } }) {
            const QByteArray plain(plainText);
            QCOMPARE(address(), QUrl(plainText));
            const std::span<const quint8> scrambled = EndpointTable::scrambled(kind);
            const QByteArray table(reinterpret_cast<const char *>(scrambled.data()),
                                   qsizetype(scrambled.size()));
            for (qsizetype i = 0; i + 4 <= plain.size(); ++i)
                QVERIFY2(table.mid(i, 4) != plain.mid(i, 4), plainText);
        }
    }

    // Nothing may leave this machine in clear text.
    void onlyHttpsOrLoopbackHttpIsAllowed()
    {
        for (const auto &[address, allowed] :
             { std::pair { "https://reports.example.org/crash", true },
               { "http://127.45.6.7:8080/crash", true }, // elsewhere in 127/8
               { "http://reports.example.org/crash", false },
               { "http://127.0.0.1.example.org/", false } }) // a name starting like loopback
            QVERIFY2(Endpoints::allowed(QUrl(address)) == (allowed ? QUrl(address) : QUrl()),
                     address);
    }
};

QTEST_GUILESS_MAIN(TestServerRequests)
#include "tst_serverrequests.moc"
