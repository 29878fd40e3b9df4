#include "reportserver.h"

#include <QJsonDocument>
#include <QTcpSocket>

namespace {
const QByteArray headerEnd = "\r\n\r\n";
constexpr qsizetype maximumRequestSize = 8 * 1024 * 1024;

ReportServer::Request parseHead(const QByteArray &head)
{
    ReportServer::Request request;
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> start = lines.value(0).trimmed().split(' ');
    request.method = start.value(0);
    request.path = start.value(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                   lines[i].mid(colon + 1).trimmed());
    }
    return request;
}
} // namespace

QJsonObject ReportServer::Request::json() const
{
    return QJsonDocument::fromJson(body).object();
}

ReportServer::ReportServer(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &ReportServer::accept);
    m_server.listen(QHostAddress::LocalHost);
}

QUrl ReportServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
}

void ReportServer::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_buffers.remove(socket);
            socket->deleteLater();
        });
    }
}

void ReportServer::readFrom(QTcpSocket *socket)
{
    QByteArray &buffer = m_buffers[socket];
    buffer += socket->readAll();
    if (buffer.size() > maximumRequestSize) {
        socket->abort();
        return;
    }
    while (takeRequest(socket)) { }
}

// Takes one complete request off the socket's buffer, answers it, and says whether it did.
bool ReportServer::takeRequest(QTcpSocket *socket)
{
    QByteArray &buffer = m_buffers[socket];
    const qsizetype end = buffer.indexOf(headerEnd);
    if (end < 0)
        return false;
    Request request = parseHead(buffer.left(end));
    const qsizetype length = request.headers.value("content-length", "0").toLongLong();
    if (buffer.size() < end + headerEnd.size() + length)
        return false;
    request.body = buffer.mid(end + headerEnd.size(), length);
    buffer.remove(0, end + headerEnd.size() + length);
    m_requests.append(request);
    socket->write("HTTP/1.1 " + m_answer
                  + "\r\nContent-Type: application/json\r\nContent-Length: 2\r\n\r\n{}");
    emit received();
    return true;
}
