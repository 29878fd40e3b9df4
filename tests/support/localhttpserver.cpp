#include "localhttpserver.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>
#include <optional>

namespace {
constexpr qsizetype maxHeaderSize = 64 * 1024;
constexpr qint64 fillerChunk = 64 * 1024;

// The head of a request, or nothing while it is incomplete.
std::optional<LocalHttpServer::Request> parseHead(const QByteArray &head)
{
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    if (requestLine.size() != 3)
        return std::nullopt;
    LocalHttpServer::Request request { .method = requestLine[0], .target = requestLine[1] };
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                   lines[i].mid(colon + 1).trimmed());
    }
    return request;
}
} // namespace

LocalHttpServer::Response LocalHttpServer::Response::ok(const QByteArray &body,
                                                        const QByteArray &contentType)
{
    return { .status = 200, .body = body, .headers = { { "Content-Type", contentType } } };
}

LocalHttpServer::Response LocalHttpServer::Response::redirect(const QByteArray &location,
                                                              int status)
{
    return { .status = status, .headers = { { "Location", location } } };
}

LocalHttpServer::LocalHttpServer(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &LocalHttpServer::accept);
    m_server->listen(QHostAddress::LocalHost);
}

LocalHttpServer::~LocalHttpServer() = default;

bool LocalHttpServer::isListening() const
{
    return m_server->isListening();
}

quint16 LocalHttpServer::port() const
{
    return m_server->serverPort();
}

QUrl LocalHttpServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path));
}

void LocalHttpServer::setResponse(const QByteArray &path, Response response)
{
    m_responses.insert(path, std::move(response));
}

int LocalHttpServer::requestCount(const QByteArray &path) const
{
    return int(std::count_if(m_requests.cbegin(), m_requests.cend(),
                             [&path](const Request &request) { return request.path() == path; }));
}

void LocalHttpServer::accept()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        m_pending.insert(socket, {});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_pending.remove(socket);
            socket->deleteLater();
        });
    }
}

void LocalHttpServer::readFrom(QTcpSocket *socket)
{
    if (!m_pending.contains(socket))
        return;
    QByteArray &buffer = m_pending[socket];
    buffer += socket->readAll();
    const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0) {
        if (buffer.size() > maxHeaderSize)
            answer(socket, { .status = 400 });
        return;
    }
    std::optional<Request> request = parseHead(buffer.left(headEnd));
    if (!request) {
        answer(socket, { .status = 400 });
        return;
    }
    const qsizetype length = request->headers.value("content-length", "0").toLongLong();
    if (buffer.size() < headEnd + 4 + length)
        return;
    request->body = buffer.mid(headEnd + 4, length);
    m_pending.remove(socket);
    m_requests.append(*request);
    emit requestReceived(*request);
    answer(socket, m_responses.value(request->path(), { .status = 404, .body = "not found" }));
}

void LocalHttpServer::answer(QTcpSocket *socket, const Response &response)
{
    m_pending.remove(socket);
    if (response.neverAnswer)
        return;
    QPointer<QTcpSocket> guarded(socket);
    QTimer::singleShot(response.delay, this, [this, guarded, response] {
        if (!guarded)
            return;
        // Clients read the status code alone: one reason phrase does for all.
        QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status)
            + " Status\r\nConnection: close\r\nContent-Length: "
            + QByteArray::number(response.body.size() + response.fillerBytes) + "\r\n";
        for (const auto &[name, value] : response.headers)
            head += name + ": " + value + "\r\n";
        guarded->write(head + "\r\n" + response.body);
        streamFiller(guarded, response.fillerBytes);
    });
}

// Writes the filler a chunk at a time as the client takes it, then closes.
void LocalHttpServer::streamFiller(QTcpSocket *socket, qint64 remaining)
{
    if (remaining <= 0) {
        socket->disconnectFromHost();
        return;
    }
    const qint64 chunk = std::min(remaining, fillerChunk);
    socket->write(QByteArray(chunk, 'x'));
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(socket, &QTcpSocket::bytesWritten, this,
                          [this, socket, connection, remaining = remaining - chunk] {
                              if (socket->bytesToWrite() > 0)
                                  return;
                              disconnect(*connection);
                              streamFiller(socket, remaining);
                          });
}
