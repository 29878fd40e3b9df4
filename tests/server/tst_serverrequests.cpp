// What every request to the maker's server shares: the addresses, stored scrambled, unscrambled
// to what the build was given and handed out only when they are safe to send to; and the
// identity, whose device id is created once and never by a report.

#include "defaultsstore.h"
#include "endpoints.h"
#include "endpointtable.h"
#include "requestidentity.h"
#include "scrambledsample.h"

#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

class TestServerRequests : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() { DefaultsStore::clear(); }

    void addressesAreTheConfiguredOnesUnlessOverridden();
    void scramblingRoundTripsMultiByteText();
    void noPlainTextInTheTablesOrTheirSource();
    void onlyHttpsOrLoopbackHttpIsAllowed_data();
    void onlyHttpsOrLoopbackHttpIsAllowed();

    void deviceIdIsCreatedOnceAndKept();
    void storedDeviceIdIsAnsweredAsItIs_data();
    void storedDeviceIdIsAnsweredAsItIs();
    void readingForReportsNeverCreatesTheId();
    void systemTextNamesTheSystemOnOneLine();
};

namespace {
const std::array allKinds { std::pair { Endpoints::Kind::Sync, VELUNA_TEST_SYNC_URL },
                            std::pair { Endpoints::Kind::Report, VELUNA_TEST_REPORT_URL },
                            std::pair { Endpoints::Kind::Crash, VELUNA_TEST_CRASH_URL } };
const QString deviceIdKey = QStringLiteral("VLDeviceId");
} // namespace

void TestServerRequests::addressesAreTheConfiguredOnesUnlessOverridden()
{
    QCOMPARE(Endpoints::sync(), QUrl(VELUNA_TEST_SYNC_URL));
    QCOMPARE(Endpoints::report(), QUrl(VELUNA_TEST_REPORT_URL));
    QCOMPARE(Endpoints::crash(), QUrl(VELUNA_TEST_CRASH_URL));
    for (const auto &[kind, plain] : allKinds)
        QVERIFY(Endpoints::url(kind).isValid());

    // An override obeys the same rule as any address, and only for its own kind.
    const QUrl local(QStringLiteral("http://127.0.0.1:4567/crash"));
    Endpoints::setOverrideForTests(Endpoints::Kind::Crash, local);
    QCOMPARE(Endpoints::crash(), local);
    QCOMPARE(Endpoints::report(), QUrl(VELUNA_TEST_REPORT_URL));
    Endpoints::setOverrideForTests(Endpoints::Kind::Crash, QUrl("http://reports.example.org/c"));
    QVERIFY(Endpoints::crash().isEmpty());
    Endpoints::setOverrideForTests(Endpoints::Kind::Crash, {});
    QCOMPARE(Endpoints::crash(), QUrl(VELUNA_TEST_CRASH_URL));
}

void TestServerRequests::scramblingRoundTripsMultiByteText()
{
    const QByteArray text = Endpoints::unscramble(ScrambledSample::table, EndpointTable::key);
    QCOMPARE(text, QByteArray(ScrambledSample::text));
    QVERIFY(text.size() > 32); // the key was repeated more than once
}

// Not even a short run of an address survives in place in its table, nor its host or path in
// the generated source.
void TestServerRequests::noPlainTextInTheTablesOrTheirSource()
{
    QFile source(QStringLiteral(VELUNA_TEST_GENERATED_TABLE));
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QByteArray generated = source.readAll();
    QVERIFY(generated.contains("0x"));
    for (const auto &[kind, plainText] : allKinds) {
        const QByteArray plain(plainText);
        const std::span<const quint8> scrambled = EndpointTable::scrambled(kind);
        const QByteArray table(reinterpret_cast<const char *>(scrambled.data()),
                               qsizetype(scrambled.size()));
        QCOMPARE(Endpoints::unscramble(scrambled, EndpointTable::key), plain);
        QCOMPARE(table.size(), plain.size());
        for (qsizetype i = 0; i + 4 <= plain.size(); ++i)
            QVERIFY2(table.mid(i, 4) != plain.mid(i, 4), plainText);
        const QUrl address(QString::fromUtf8(plain));
        QVERIFY(!generated.contains(plain));
        QVERIFY(!generated.contains(address.host().toUtf8()));
        QVERIFY(!generated.contains(address.path().toUtf8()));
    }
}

void TestServerRequests::onlyHttpsOrLoopbackHttpIsAllowed_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("https") << "https://reports.example.org/crash" << true;
    QTest::newRow("http, 127.0.0.1") << "http://127.0.0.1:8080/crash" << true;
    QTest::newRow("http, elsewhere in 127/8") << "http://127.45.6.7/crash" << true;
    QTest::newRow("http, [::1]") << "http://[::1]:9000/crash" << true;
    QTest::newRow("http, LocalHost") << "http://LocalHost:9000/crash" << true;
    QTest::newRow("http, public host") << "http://reports.example.org/crash" << false;
    QTest::newRow("http, private address") << "http://192.168.1.10/crash" << false;
    QTest::newRow("http, other IPv6") << "http://[2001:db8::1]/crash" << false;
    QTest::newRow("http, name starting like loopback") << "http://127.0.0.1.example.org/" << false;
    QTest::newRow("http, name ending like localhost") << "http://evil-localhost/" << false;
    QTest::newRow("other scheme on loopback") << "ftp://127.0.0.1/crash" << false;
    QTest::newRow("https without host") << "https:///crash" << false;
    QTest::newRow("not a URL") << "http://[::1/crash" << false;
    QTest::newRow("empty") << "" << false;
}

void TestServerRequests::onlyHttpsOrLoopbackHttpIsAllowed()
{
    QFETCH(QString, address);
    QFETCH(bool, allowed);
    const QUrl url(address);
    QCOMPARE(Endpoints::allowed(url), allowed ? url : QUrl());
}

void TestServerRequests::deviceIdIsCreatedOnceAndKept()
{
    const QString created = RequestIdentity::deviceId();
    static const QRegularExpression uuid(
        QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
    QVERIFY2(uuid.match(created).hasMatch(), qPrintable(created));
    QCOMPARE(DefaultsStore::string(deviceIdKey), std::optional(created));
    QCOMPARE(RequestIdentity::deviceId(), created);
    QCOMPARE(RequestIdentity::storedDeviceId(), created);
    DefaultsStore::clear();
    QVERIFY(RequestIdentity::deviceId() != created);
}

void TestServerRequests::storedDeviceIdIsAnsweredAsItIs_data()
{
    QTest::addColumn<QString>("stored");
    QTest::newRow("lower case, not a UUID") << "my-mac";
    QTest::newRow("empty") << "";
}

void TestServerRequests::storedDeviceIdIsAnsweredAsItIs()
{
    QFETCH(QString, stored);
    DefaultsStore::setValue(deviceIdKey, stored);
    QCOMPARE(RequestIdentity::deviceId(), stored);
    QCOMPARE(RequestIdentity::storedDeviceId(), stored);
}

// A value of another type is no identifier: reports send "?", and a new one replaces it.
void TestServerRequests::readingForReportsNeverCreatesTheId()
{
    QCOMPARE(RequestIdentity::storedDeviceId(), QStringLiteral("?"));
    QVERIFY(!DefaultsStore::value(deviceIdKey).isValid());
    DefaultsStore::setValue(deviceIdKey, 7);
    QCOMPARE(RequestIdentity::storedDeviceId(), QStringLiteral("?"));
    QCOMPARE(RequestIdentity::deviceId().size(), 36);
}

void TestServerRequests::systemTextNamesTheSystemOnOneLine()
{
    const QString text = RequestIdentity::systemText();
    QVERIFY2(QRegularExpression(QStringLiteral("^\\S+ \\S+")).match(text).hasMatch(),
             qPrintable(text));
    QVERIFY(!text.contains(QLatin1Char('\n')));
}

QTEST_GUILESS_MAIN(TestServerRequests)
#include "tst_serverrequests.moc"
