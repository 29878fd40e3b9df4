#include "boundedrequest.h"
#include "localhttpserver.h"
#include "networkaccess.h"

#include <QDirIterator>
#include <QFile>
#include <QSignalSpy>
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

const BoundedRequest::Limits limits { .deadline = 5s, .maxBodySize = 1024 };

std::unique_ptr<BoundedRequest> get(const QUrl &url)
{
    return std::unique_ptr<BoundedRequest>(BoundedRequest::get(url, limits, nullptr));
}

bool isDone(const std::unique_ptr<BoundedRequest> &request)
{
    QSignalSpy finished(request.get(), &BoundedRequest::finished);
    return finished.wait(5000);
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
        const auto request = get(disguised);
        QVERIFY(isDone(request));
        QCOMPARE(request->failure(), BoundedRequest::Failure::RefusedAddress);
    }

    // Connections are dropped once no transfer is left, never under one still running.
    void overlappingTransfersAllFinishAndNothingStaysAwake()
    {
        LocalHttpServer server;
        server.setResponse("/slow", { .body = "slow answer", .delay = 400ms });
        server.setResponse("/fast", LocalHttpServer::Response::ok("fast answer"));

        const auto slow = get(server.url("/slow"));
        const auto fast = get(server.url("/fast"));
        QSignalSpy slowFinished(slow.get(), &BoundedRequest::finished);
        QVERIFY(isDone(fast));
        QCOMPARE(fast->takeBody(), QByteArray("fast answer"));
        QVERIFY2(slowFinished.isEmpty(), "the slow answer must still be on its way");
        QVERIFY(hasNetworkThread());

        QVERIFY(slowFinished.wait(5000));
        QCOMPARE(slow->failure(), BoundedRequest::Failure::None);
        QCOMPARE(slow->takeBody(), QByteArray("slow answer"));
        QTRY_VERIFY(!hasNetworkThread());

        // The next exchange, an hour later, finds everything it needs again.
        const auto next = get(server.url("/fast"));
        QVERIFY(isDone(next));
        QCOMPARE(next->takeBody(), QByteArray("fast answer"));
    }
};

QTEST_GUILESS_MAIN(TestNetworkAccess)
#include "tst_networkaccess.moc"
