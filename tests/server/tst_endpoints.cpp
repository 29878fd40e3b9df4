// The server addresses: stored scrambled, unscrambled to what the build was given, and handed
// out only when they are safe to send reports to.

#include "endpoints.h"
#include "endpointtable.h"
#include "scrambledsample.h"

#include <QFile>
#include <QTest>

class TestEndpoints : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void builtInAddressesAreTheConfiguredOnes();
    void scramblingRoundTripsMultiByteText();
    void tablesDoNotHoldThePlainText();
    void generatedSourceDoesNotHoldThePlainText();
    void onlyHttpsOrLoopbackHttpIsAllowed_data();
    void onlyHttpsOrLoopbackHttpIsAllowed();
    void overrideObeysTheSameRule();
};

namespace {
QByteArray plainText(Endpoints::Kind kind)
{
    switch (kind) {
    case Endpoints::Kind::Sync:
        return VELUNA_TEST_SYNC_URL;
    case Endpoints::Kind::Report:
        return VELUNA_TEST_REPORT_URL;
    case Endpoints::Kind::Crash:
        return VELUNA_TEST_CRASH_URL;
    }
    return {};
}

const std::array allKinds { Endpoints::Kind::Sync, Endpoints::Kind::Report,
                            Endpoints::Kind::Crash };

QByteArray tableBytes(Endpoints::Kind kind)
{
    const std::span<const quint8> table = EndpointTable::scrambled(kind);
    return QByteArray(reinterpret_cast<const char *>(table.data()), qsizetype(table.size()));
}
} // namespace

void TestEndpoints::cleanup()
{
    for (Endpoints::Kind kind : allKinds)
        Endpoints::setOverrideForTests(kind, {});
}

void TestEndpoints::builtInAddressesAreTheConfiguredOnes()
{
    QCOMPARE(Endpoints::sync(), QUrl(VELUNA_TEST_SYNC_URL));
    QCOMPARE(Endpoints::report(), QUrl(VELUNA_TEST_REPORT_URL));
    QCOMPARE(Endpoints::crash(), QUrl(VELUNA_TEST_CRASH_URL));
    for (Endpoints::Kind kind : allKinds)
        QVERIFY(Endpoints::url(kind).isValid());
}

void TestEndpoints::scramblingRoundTripsMultiByteText()
{
    const QByteArray text = Endpoints::unscramble(ScrambledSample::table, EndpointTable::key);
    QCOMPARE(text, QByteArray(ScrambledSample::text));
    QVERIFY(text.size() > 32); // the key was repeated more than once
    QVERIFY(QString::fromUtf8(text).contains(QStringLiteral("日本")));
}

void TestEndpoints::tablesDoNotHoldThePlainText()
{
    for (Endpoints::Kind kind : allKinds) {
        const QByteArray plain = plainText(kind);
        const QByteArray table = tableBytes(kind);
        QCOMPARE(table.size(), plain.size());
        QCOMPARE(Endpoints::unscramble(EndpointTable::scrambled(kind), EndpointTable::key), plain);
        // Not even a short run of the text survives in place.
        for (qsizetype i = 0; i + 4 <= plain.size(); ++i)
            QVERIFY2(table.mid(i, 4) != plain.mid(i, 4), plain.constData());
    }
}

void TestEndpoints::generatedSourceDoesNotHoldThePlainText()
{
    QFile source(QStringLiteral(VELUNA_TEST_GENERATED_TABLE));
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QByteArray text = source.readAll();
    QVERIFY(text.contains("0x"));
    for (Endpoints::Kind kind : allKinds) {
        const QUrl address(QString::fromUtf8(plainText(kind)));
        QVERIFY(!text.contains(plainText(kind)));
        QVERIFY(!text.contains(address.host().toUtf8()));
        QVERIFY(!text.contains(address.path().toUtf8()));
    }
}

void TestEndpoints::onlyHttpsOrLoopbackHttpIsAllowed_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("https") << "https://reports.example.org/crash" << true;
    QTest::newRow("http, 127.0.0.1") << "http://127.0.0.1:8080/crash" << true;
    QTest::newRow("http, elsewhere in 127/8") << "http://127.45.6.7/crash" << true;
    QTest::newRow("http, [::1]") << "http://[::1]:9000/crash" << true;
    QTest::newRow("http, localhost") << "http://localhost:9000/crash" << true;
    QTest::newRow("http, LocalHost") << "http://LocalHost/crash" << true;
    QTest::newRow("http, public host") << "http://reports.example.org/crash" << false;
    QTest::newRow("http, private address") << "http://192.168.1.10/crash" << false;
    QTest::newRow("http, 10/8") << "http://10.0.0.1/crash" << false;
    QTest::newRow("http, other IPv6") << "http://[2001:db8::1]/crash" << false;
    QTest::newRow("http, name that starts like loopback")
        << "http://127.0.0.1.example.org/" << false;
    QTest::newRow("http, name that ends like localhost") << "http://evil-localhost/" << false;
    QTest::newRow("other scheme on loopback") << "ftp://127.0.0.1/crash" << false;
    QTest::newRow("file") << "file:///tmp/crash" << false;
    QTest::newRow("https without host") << "https:///crash" << false;
    QTest::newRow("not a URL") << "http://[::1/crash" << false;
    QTest::newRow("empty") << "" << false;
}

void TestEndpoints::onlyHttpsOrLoopbackHttpIsAllowed()
{
    QFETCH(QString, address);
    QFETCH(bool, allowed);
    const QUrl url(address);
    QCOMPARE(Endpoints::allowed(url), allowed ? url : QUrl());
}

void TestEndpoints::overrideObeysTheSameRule()
{
    const QUrl local(QStringLiteral("http://127.0.0.1:4567/crash"));
    Endpoints::setOverrideForTests(Endpoints::Kind::Crash, local);
    QCOMPARE(Endpoints::crash(), local);
    QCOMPARE(Endpoints::report(), QUrl(VELUNA_TEST_REPORT_URL));

    Endpoints::setOverrideForTests(Endpoints::Kind::Crash,
                                   QUrl("http://reports.example.org/crash"));
    QVERIFY(Endpoints::crash().isEmpty());

    Endpoints::setOverrideForTests(Endpoints::Kind::Crash, {});
    QCOMPARE(Endpoints::crash(), QUrl(VELUNA_TEST_CRASH_URL));
}

QTEST_GUILESS_MAIN(TestEndpoints)
#include "tst_endpoints.moc"
