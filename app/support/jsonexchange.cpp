#include "jsonexchange.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {
QNetworkRequest jsonRequest(const QUrl &url, std::chrono::milliseconds timeout)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setTransferTimeout(int(timeout.count()));
    return request;
}

// Errors below 200 are the network and proxy layers: no HTTP answer came through. Qt reports
// an HTTP error status as an error too, but then the answer itself did arrive.
bool isTransportFailure(QNetworkReply::NetworkError error)
{
    return (error > QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied)
        || error == QNetworkReply::ProtocolFailure;
}
} // namespace

void JsonExchange::post(QNetworkAccessManager &network, const QUrl &url, const QJsonObject &body,
                        std::chrono::milliseconds timeout, QObject *owner, Callback done)
{
    const QByteArray payload = QJsonDocument(body).toJson(QJsonDocument::Compact);
    new JsonExchange(network.post(jsonRequest(url, timeout), payload), std::move(done), owner);
}

JsonExchange::JsonExchange(QNetworkReply *reply, Callback done, QObject *owner)
    : QObject(owner)
    , m_reply(reply)
    , m_done(std::move(done))
{
    connect(reply, &QNetworkReply::metaDataChanged, this, &JsonExchange::checkAnnouncedSize);
    connect(reply, &QNetworkReply::readyRead, this, &JsonExchange::readAvailable);
    connect(reply, &QNetworkReply::finished, this, &JsonExchange::finish);
}

JsonExchange::~JsonExchange()
{
    // The owner went away mid-request: nobody is left to tell, so end the transfer quietly.
    if (!m_reply)
        return;
    m_reply->disconnect(this);
    m_reply->abort();
    m_reply->deleteLater();
}

void JsonExchange::checkAnnouncedSize()
{
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > maximumBodySize)
        abandon();
}

void JsonExchange::readAvailable()
{
    if (m_abandoned || !m_reply->isOpen())
        return;
    m_body += m_reply->read(maximumBodySize + 1 - m_body.size());
    if (m_body.size() > maximumBodySize)
        abandon();
}

void JsonExchange::abandon()
{
    if (m_abandoned)
        return;
    m_abandoned = true;
    // Aborting finishes the reply at once, and finish() may run the owner's callback; nothing
    // of this object is touched after it.
    m_reply->abort();
}

void JsonExchange::finish()
{
    readAvailable();
    Answer answer;
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    answer.received = !m_abandoned && status.isValid() && !isTransportFailure(m_reply->error());
    answer.status = status.toInt();
    if (answer.received)
        answer.body = std::move(m_body);
    m_reply->disconnect(this);
    std::exchange(m_reply, nullptr)->deleteLater();
    deleteLater();
    // Last, because the callback may destroy the owner and with it this object.
    const Callback done = std::move(m_done);
    if (done)
        done(answer);
}
