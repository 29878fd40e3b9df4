#include "localhttpserver.h"
#include "networkaccess.h"

#include <QDirIterator>
#include <QFile>
#include <QNetworkReply>
#include <QTest>
#include <QUrl>

#include <memory>

using namespace std::chrono_literals;

namespace {
// Whether Qt's network thread runs, by this process's thread names as the kernel knows them.
bool hasNetworkThread()
{
    QDirIterator it(QStringLiteral("/proc/self/task"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        QFile comm(it.next() + QStringLiteral("/comm"));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "QNetworkAccessM")
            return true;
    }
    return false;
}
} // namespace

class TestNetworkAccess : public QObject
{
    Q_OBJECT

private slots:
    // The full loopback rule is tested with the server addresses; here, a disguised host.
    void refusedAddressesSendNothing()
    {
        const QUrl disguised(QStringLiteral("http://127.0.0.1@example.org/"));
        QVERIFY(!NetworkAccess::isAllowed(disguised));
        QCOMPARE(NetworkAccess::get(disguised, 1s), nullptr);
    }

    // Connections are dropped once no transfer is left, never under one still running.
    void overlappingTransfersAllFinishAndNothingStaysAwake()
    {
        LocalHttpServer server;
        server.setResponse("/slow", { .body = "slow answer", .delay = 400ms });
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
        QTRY_VERIFY(!hasNetworkThread());

        // The next exchange, an hour later, finds everything it needs again.
        std::unique_ptr<QNetworkReply> nextReply(NetworkAccess::get(server.url("/fast"), 5s));
        QTRY_VERIFY(nextReply->isFinished());
        QCOMPARE(nextReply->readAll(), QByteArray("fast answer"));
    }
};

QTEST_GUILESS_MAIN(TestNetworkAccess)
#include "tst_networkaccess.moc"
