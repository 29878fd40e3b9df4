// SPDX-License-Identifier: MIT
#include "boundedrequest.h"
#include "networkaccess.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <memory>

using namespace std::chrono_literals;

namespace {
// Answers every request on a connection it keeps open, as servers do unless told otherwise: only
// the client can close it. A path starting "/slow" answers after 400 ms.
class KeepAliveServer : public QTcpServer
{
public:
    KeepAliveServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                ++m_open;
                connect(socket, &QTcpSocket::readyRead, socket, [socket] { answer(socket); });
                connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                    --m_open;
                    socket->deleteLater();
                });
            }
        });
        listen(QHostAddress::LocalHost);
    }
    int openConnections() const { return m_open; }
    QUrl url(const QString &path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(path));
    }

private:
    static void answer(QTcpSocket *socket)
    {
        const QByteArray head = socket->readAll();
        const QByteArray body = head.startsWith("GET /slow") ? "slow answer" : "fast answer";
        QTimer::singleShot(head.startsWith("GET /slow") ? 400 : 0, socket, [socket, body] {
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size())
                          + "\r\n\r\n" + body);
        });
    }
    int m_open = 0;
};

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
        KeepAliveServer server;
        const auto slow = get(server.url("/slow"));
        const auto fast = get(server.url("/fast"));
        QSignalSpy slowFinished(slow.get(), &BoundedRequest::finished);
        QVERIFY(isDone(fast));
        QCOMPARE(fast->takeBody(), QByteArray("fast answer"));
        QVERIFY2(slowFinished.isEmpty(), "the slow answer must still be on its way");
        QCOMPARE(server.openConnections(), 2);

        QVERIFY(slowFinished.wait(5000));
        QCOMPARE(slow->failure(), BoundedRequest::Failure::None);
        QCOMPARE(slow->takeBody(), QByteArray("slow answer"));
        QTRY_COMPARE_WITH_TIMEOUT(server.openConnections(), 0, 2000);

        // The next exchange, an hour later, finds everything it needs again.
        const auto next = get(server.url("/fast"));
        QVERIFY(isDone(next));
        QCOMPARE(next->takeBody(), QByteArray("fast answer"));
    }
};

QTEST_GUILESS_MAIN(TestNetworkAccess)
#include "tst_networkaccess.moc"
