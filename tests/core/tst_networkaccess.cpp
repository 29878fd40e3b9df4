#include "networkaccess.h"

#include <QTest>
#include <QUrl>

using namespace std::chrono_literals;

class TestNetworkAccess : public QObject
{
    Q_OBJECT

private slots:
    void onlySecureOrLoopbackAddressesAreAllowed_data();
    void onlySecureOrLoopbackAddressesAreAllowed();
    void refusedAddressesSendNothing();
};

void TestNetworkAccess::onlySecureOrLoopbackAddressesAreAllowed_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("https") << "https://plenox.app/veluna/appcast.xml" << true;
    QTest::newRow("https upper case") << "HTTPS://PLENOX.APP/x" << true;
    QTest::newRow("http") << "http://plenox.app/veluna/appcast.xml" << false;
    QTest::newRow("http 127.0.0.1") << "http://127.0.0.1:8080/feed" << true;
    QTest::newRow("http 127.3.4.5") << "http://127.3.4.5/feed" << true;
    QTest::newRow("http ::1") << "http://[::1]:9000/feed" << true;
    QTest::newRow("http localhost") << "http://localhost:9000/feed" << true;
    QTest::newRow("http LocalHost") << "http://LocalHost/feed" << true;
    QTest::newRow("loopback-looking name") << "http://127.0.0.1.example.org/feed" << false;
    QTest::newRow("localhost subdomain") << "http://localhost.example.org/feed" << false;
    QTest::newRow("user info trick") << "http://127.0.0.1@example.org/feed" << false;
    QTest::newRow("private address") << "http://192.168.1.1/feed" << false;
    QTest::newRow("any address") << "http://0.0.0.0/feed" << false;
    QTest::newRow("ftp") << "ftp://plenox.app/feed" << false;
    QTest::newRow("file") << "file:///etc/passwd" << false;
    QTest::newRow("no host") << "https:///feed" << false;
    QTest::newRow("relative") << "/veluna/appcast.xml" << false;
    QTest::newRow("empty") << "" << false;
}

void TestNetworkAccess::onlySecureOrLoopbackAddressesAreAllowed()
{
    QFETCH(QString, url);
    QFETCH(bool, allowed);
    QCOMPARE(NetworkAccess::isAllowed(QUrl(url)), allowed);
}

void TestNetworkAccess::refusedAddressesSendNothing()
{
    QCOMPARE(NetworkAccess::get(QUrl(QStringLiteral("http://example.org/")), 1s), nullptr);
    QCOMPARE(NetworkAccess::get(QUrl(QStringLiteral("file:///etc/hostname")), 1s), nullptr);
}

QTEST_GUILESS_MAIN(TestNetworkAccess)
#include "tst_networkaccess.moc"
