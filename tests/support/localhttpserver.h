#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QUrl>

#include <chrono>
#include <utility>

class QTcpServer;
class QTcpSocket;

// A small HTTP/1.1 server on 127.0.0.1 for tests, listening from construction on a free port.
// Each path (the query string aside) answers as a test sets it: status, headers and body, after
// a delay, followed by any amount of filler streamed without holding it in memory, or never at
// all. Unknown paths answer 404. Every complete request is recorded. One request per
// connection (the answer says Connection: close); request bodies need a Content-Length.
class LocalHttpServer : public QObject
{
    Q_OBJECT

public:
    struct Response
    {
        int status = 200;
        QByteArray body {};
        QList<std::pair<QByteArray, QByteArray>> headers {};
        std::chrono::milliseconds delay { 0 };
        qint64 fillerBytes = 0; // sent after body, counted in Content-Length
        bool neverAnswer = false;

        static Response ok(const QByteArray &body, const QByteArray &contentType = "text/plain");
        static Response redirect(const QByteArray &location, int status = 302);
    };

    struct Request
    {
        QByteArray method {};
        QByteArray target {}; // path and query, as sent
        QHash<QByteArray, QByteArray> headers {}; // names in lower case
        QByteArray body {};

        QByteArray path() const { return target.split('?').first(); }
    };

    explicit LocalHttpServer(QObject *parent = nullptr);
    ~LocalHttpServer() override;

    bool isListening() const;
    quint16 port() const;
    QUrl url(const QString &path) const;

    void setResponse(const QByteArray &path, Response response);
    const QList<Request> &requests() const { return m_requests; }
    int requestCount(const QByteArray &path) const;

signals:
    void requestReceived(const LocalHttpServer::Request &request);

private:
    void accept();
    void readFrom(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const Response &response);
    void streamFiller(QTcpSocket *socket, qint64 remaining);

    QTcpServer *m_server;
    QHash<QByteArray, Response> m_responses;
    QHash<QTcpSocket *, QByteArray> m_pending;
    QList<Request> m_requests;
};

Q_DECLARE_METATYPE(LocalHttpServer::Response)
