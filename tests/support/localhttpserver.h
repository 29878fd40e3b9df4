// SPDX-License-Identifier: MIT
#pragma once

#include <QHash>
#include <QList>
#include <QTcpServer>
#include <QUrl>

#include <algorithm>
#include <chrono>

class QTcpSocket;

// An HTTP/1.1 server on 127.0.0.1, listening from construction on a free port. Each path (query
// aside) answers as set: status, headers and body, then filler streamed as fast as
// the client takes it (or dripped a byte at a time) without holding it in memory, or never.
// Unknown paths answer 404. Requests and the filler bytes sent are recorded; one request per
// connection, bodies need a Content-Length.
class LocalHttpServer : public QObject
{
public:
    struct Response
    {
        int status = 200;
        QByteArray body {};
        QList<std::pair<QByteArray, QByteArray>> headers {};
        qint64 fillerBytes = 0; // sent after body, counted in Content-Length
        std::chrono::milliseconds dripInterval { 0 }; // between filler bytes; 0: all at once
        bool neverAnswer = false;

        static Response ok(const QByteArray &body, const QByteArray &contentType = "text/plain")
        {
            return { .body = body, .headers = { { "Content-Type", contentType } } };
        }
        static Response redirect(const QByteArray &location, int status = 302)
        {
            return { .status = status, .headers = { { "Location", location } } };
        }
        // body, then `zeros` zero bytes, gzip-compressed: a bomb when zeros is large.
        static Response gzipped(const QByteArray &body, qint64 zeros = 0);
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

    quint16 port() const { return m_server->serverPort(); }
    QUrl url(const QString &path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path));
    }
    void setResponse(const QByteArray &path, Response response) { m_responses[path] = response; }
    const QList<Request> &requests() const { return m_requests; }
    int requestCount(const QByteArray &path) const
    {
        return int(std::ranges::count(m_requests, path, &Request::path));
    }
    // Filler bytes handed to the sockets of the answers to path.
    qint64 fillerSent(const QByteArray &path) const { return m_fillerSent.value(path); }

private:
    void readFrom(QTcpSocket *socket);
    void sendFiller(QTcpSocket *socket, const QByteArray &path, qint64 remaining,
                    std::chrono::milliseconds interval);

    QTcpServer *m_server;
    QHash<QByteArray, Response> m_responses;
    QList<Request> m_requests;
    QHash<QByteArray, qint64> m_fillerSent;
};

Q_DECLARE_METATYPE(LocalHttpServer::Response)
