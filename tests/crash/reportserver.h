#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QTcpServer>
#include <QUrl>

class QTcpSocket;

// A tiny HTTP/1.1 server on 127.0.0.1 that stands in for the maker's server: it keeps every
// request it receives and answers each one (with "200 {}" unless told otherwise), on
// kept-alive connections too.
class ReportServer : public QObject
{
    Q_OBJECT

public:
    struct Request
    {
        QByteArray method;
        QByteArray path;
        QHash<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
        QJsonObject json() const;
    };

    explicit ReportServer(QObject *parent = nullptr);

    bool isListening() const { return m_server.isListening(); }
    QUrl url(const QString &path) const;
    const QList<Request> &requests() const { return m_requests; }
    void clear() { m_requests.clear(); }
    // The status line and extra header lines of every later answer, such as
    // "307 Temporary Redirect\r\nLocation: http://...".
    void setAnswer(const QByteArray &statusAndHeaders) { m_answer = statusAndHeaders; }

signals:
    void received();

private:
    void accept();
    void readFrom(QTcpSocket *socket);
    bool takeRequest(QTcpSocket *socket);

    // Declared before the server: its sockets, deleted with it, still find their buffers.
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QList<Request> m_requests;
    QByteArray m_answer = "200 OK";
    QTcpServer m_server;
};
