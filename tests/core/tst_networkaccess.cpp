#include "localhttpserver.h"
#include "networkaccess.h"

#include <QDir>
#include <QFile>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <memory>

using namespace std::chrono_literals;

class TestNetworkAccess : public QObject
{
    Q_OBJECT

private slots:
    void onlySecureOrLoopbackAddressesAreAllowed_data();
    void onlySecureOrLoopbackAddressesAreAllowed();
    void refusedAddressesSendNothing();
    void overlappingTransfersAllFinishAndNothingStaysAwake();
};

namespace {
// Names of this process's threads, as the kernel knows them (15 characters at most).
QStringList threadNames()
{
    QStringList names;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly))
            names << QString::fromUtf8(comm.readAll().trimmed());
    }
    return names;
}

bool hasNetworkThread()
{
    return threadNames().contains(QStringLiteral("QNetworkAccessM"));
}
} // namespace

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

// Connections are dropped once no transfer is left, never under one still running.
void TestNetworkAccess::overlappingTransfersAllFinishAndNothingStaysAwake()
{
    LocalHttpServer server;
    QVERIFY(server.isListening());
    LocalHttpServer::Response slow = LocalHttpServer::Response::ok("slow answer");
    slow.delay = 400ms;
    server.setResponse("/slow", slow);
    server.setResponse("/fast", LocalHttpServer::Response::ok("fast answer"));

    std::unique_ptr<QNetworkReply> slowReply(NetworkAccess::get(server.url("/slow"), 5s));
    std::unique_ptr<QNetworkReply> fastReply(NetworkAccess::get(server.url("/fast"), 5s));
    QVERIFY(slowReply && fastReply);
    QTRY_VERIFY(fastReply->isFinished());
    QCOMPARE(fastReply->readAll(), QByteArray("fast answer"));
    QVERIFY2(slowReply->isRunning(), "the slow answer must still be on its way");
    QVERIFY(hasNetworkThread());

    QTRY_VERIFY(slowReply->isFinished());
    QCOMPARE(slowReply->error(), QNetworkReply::NoError);
    QCOMPARE(slowReply->readAll(), QByteArray("slow answer"));
    QTRY_VERIFY2(!hasNetworkThread(), qPrintable(threadNames().join(u',')));

    // The next exchange, an hour later, finds everything it needs again.
    std::unique_ptr<QNetworkReply> nextReply(NetworkAccess::get(server.url("/fast"), 5s));
    QTRY_VERIFY(nextReply->isFinished());
    QCOMPARE(nextReply->readAll(), QByteArray("fast answer"));
}

QTEST_GUILESS_MAIN(TestNetworkAccess)
#include "tst_networkaccess.moc"
