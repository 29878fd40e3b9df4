// SPDX-License-Identifier: MIT
#include "localhttpserver.h"

#include <QTcpSocket>
#include <QTimer>

#include <memory>
#include <zlib.h>

LocalHttpServer::LocalHttpServer(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    m_server->listen(QHostAddress::LocalHost);
}

// Leaves the data in the socket until the whole request has arrived.
void LocalHttpServer::readFrom(QTcpSocket *socket)
{
    const QByteArray data = socket->peek(socket->bytesAvailable());
    const qsizetype headEnd = data.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return;
    const QList<QByteArray> lines = data.left(headEnd).split('\n');
    const QList<QByteArray> requestLine = lines[0].trimmed().split(' ');
    Request request { .method = requestLine.value(0), .target = requestLine.value(1) };
    for (const QByteArray &line : lines.mid(1)) {
        if (const qsizetype colon = line.indexOf(':'); colon > 0)
            request.headers.insert(line.left(colon).trimmed().toLower(),
                                   line.mid(colon + 1).trimmed());
    }
    const qsizetype length = request.headers.value("content-length").toLongLong();
    if (data.size() < headEnd + 4 + length)
        return;
    socket->readAll();
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    request.body = data.mid(headEnd + 4, length);
    m_requests.append(request);
    const Response response
        = m_responses.value(request.path(), { .status = 404, .body = "not found" });
    if (response.neverAnswer)
        return;
    // Clients read the status code alone: one reason phrase does for all.
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status)
        + " Status\r\nConnection: close\r\nContent-Length: "
        + QByteArray::number(response.body.size() + response.fillerBytes) + "\r\n";
    for (const auto &[name, value] : response.headers)
        head += name + ": " + value + "\r\n";
    socket->write(head + "\r\n" + response.body);
    sendFiller(socket, request.path(), response.fillerBytes, response.dripInterval);
}

// All at once, a chunk whenever the client has taken the last; or dripped, a byte per interval
// with the socket as the timer's context, so that a client that hangs up stops the drip.
void LocalHttpServer::sendFiller(QTcpSocket *socket, const QByteArray &path, qint64 remaining,
                                 std::chrono::milliseconds interval)
{
    if (remaining <= 0 || socket->state() != QAbstractSocket::ConnectedState)
        return socket->disconnectFromHost();
    const qint64 chunk = interval.count() > 0 ? 1 : std::min<qint64>(remaining, 64 * 1024);
    socket->write(QByteArray(chunk, 'x'));
    m_fillerSent[path] += chunk;
    const auto next = [=, this] { sendFiller(socket, path, remaining - chunk, interval); };
    if (interval.count() > 0)
        return QTimer::singleShot(interval, socket, next);
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(socket, &QTcpSocket::bytesWritten, this, [=] {
        if (socket->bytesToWrite() == 0) {
            disconnect(*connection);
            next();
        }
    });
}

// Deflated a mebibyte at a time, so that a bomb never exists inflated, here or anywhere.
LocalHttpServer::Response LocalHttpServer::Response::gzipped(const QByteArray &body, qint64 zeros)
{
    z_stream stream {};
    deflateInit2(&stream, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY); // 16: gzip framing
    QByteArray compressed;
    const QByteArray block(1024 * 1024, '\0');
    const auto feed = [&](const QByteArray &input, int flush) {
        stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(input.constData()));
        stream.avail_in = uInt(input.size());
        do {
            char out[64 * 1024];
            stream.next_out = reinterpret_cast<Bytef *>(out);
            stream.avail_out = sizeof out;
            deflate(&stream, flush);
            compressed.append(out, qsizetype(sizeof out - stream.avail_out));
        } while (stream.avail_out == 0);
    };
    feed(body, Z_NO_FLUSH);
    for (; zeros > 0; zeros -= block.size())
        feed(block.left(std::min<qint64>(zeros, block.size())), Z_NO_FLUSH);
    feed({}, Z_FINISH);
    deflateEnd(&stream);
    return { .body = compressed, .headers = { { "Content-Encoding", "gzip" } } };
}
