// SPDX-License-Identifier: MIT
#include "boundedrequest.h"

#include "networkaccess.h"

#include <QJsonDocument>
#include <QNetworkRequest>

namespace {
// What Qt may hold for us at a time. Without a bound its network thread reads a body as fast as
// the server sends it, however little of it we mean to keep.
constexpr qint64 readAhead = 64 * 1024;

QNetworkRequest requestFor(const QUrl &url, const BoundedRequest::Limits &limits)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         limits.maxRedirects > 0 ? QNetworkRequest::UserVerifiedRedirectPolicy
                                                 : QNetworkRequest::ManualRedirectPolicy);
    request.setMaximumRedirectsAllowed(limits.maxRedirects);
    if (limits.stallTimeout.count() > 0)
        request.setTransferTimeout(int(limits.stallTimeout.count()));
    // Qt judges an inflating body only once it has grown past this size (10 MiB by default).
    request.setDecompressedSafetyCheckThreshold(limits.maxBodySize);
    return request;
}

// Errors below 200 are the network and proxy layers: no HTTP answer came through. Qt reports
// an HTTP error status as an error too, but then the answer itself did arrive.
bool isTransportFailure(QNetworkReply::NetworkError error)
{
    return (error > QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied)
        || error == QNetworkReply::ProtocolFailure;
}
// Qt 6.4 reports a body it cannot inflate, its bomb check included, as unknown content.
bool isInflationFailure(const QNetworkReply &reply)
{
    const QNetworkReply::NetworkError error = reply.error();
    return (error == QNetworkReply::UnknownContentError || error == QNetworkReply::ProtocolFailure)
        && reply.hasRawHeader("Content-Encoding");
}
} // namespace

BoundedRequest *BoundedRequest::get(const QUrl &url, const Limits &limits, QObject *parent)
{
    auto *request = new BoundedRequest(url, limits, parent);
    if (request->m_failure == Failure::None)
        request->watch(NetworkAccess::shared().get(requestFor(url, limits)));
    return request;
}

BoundedRequest *BoundedRequest::postJson(const QUrl &url, const QJsonObject &body,
                                         const Limits &limits, QObject *parent)
{
    auto *request = new BoundedRequest(url, limits, parent);
    if (request->m_failure == Failure::None) {
        QNetworkRequest outgoing = requestFor(url, limits);
        outgoing.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/json"));
        request->watch(NetworkAccess::shared().post(
            outgoing, QJsonDocument(body).toJson(QJsonDocument::Compact)));
    }
    return request;
}

// A refused address is answered a moment later, as the network would answer.
BoundedRequest::BoundedRequest(const QUrl &url, const Limits &limits, QObject *parent)
    : QObject(parent)
    , m_limits(limits)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] { fail(Failure::TimedOut); });
    if (!NetworkAccess::isAllowed(url)) {
        m_failure = Failure::RefusedAddress;
        m_refusedUrl = url;
        QTimer::singleShot(0, this, &BoundedRequest::conclude);
    }
}

BoundedRequest::~BoundedRequest()
{
    // Nobody is left to tell: end the transfer quietly.
    if (!m_reply)
        return;
    m_reply->disconnect(this);
    m_reply->abort();
    m_reply->deleteLater();
}

void BoundedRequest::watch(QNetworkReply *reply)
{
    m_reply = reply;
    reply->setReadBufferSize(readAhead);
    connect(reply, &QNetworkReply::redirected, this, &BoundedRequest::checkRedirect);
    connect(reply, &QNetworkReply::metaDataChanged, this, &BoundedRequest::checkAnnouncedSize);
    connect(reply, &QNetworkReply::readyRead, this, &BoundedRequest::readAvailable);
    connect(reply, &QNetworkReply::finished, this, &BoundedRequest::conclude);
    // Qt does not finish such a reply until the transfer ends or stalls.
    connect(reply, &QNetworkReply::errorOccurred, this, [this] {
        if (isInflationFailure(*m_reply))
            fail(Failure::Undecodable);
    });
    m_deadline.start(m_limits.deadline);
}

void BoundedRequest::checkRedirect(const QUrl &target)
{
    if (NetworkAccess::isAllowed(target)) {
        emit m_reply->redirectAllowed();
        return;
    }
    m_refusedUrl = target;
    fail(Failure::RefusedRedirect);
}

void BoundedRequest::checkAnnouncedSize()
{
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > m_limits.maxBodySize)
        fail(Failure::TooLarge);
}

void BoundedRequest::readAvailable()
{
    while (m_failure == Failure::None && m_reply && m_reply->bytesAvailable() > 0) {
        const QByteArray chunk
            = m_reply->read(std::min(readAhead, m_limits.maxBodySize + 1 - m_received));
        m_received += chunk.size();
        if (m_received > m_limits.maxBodySize)
            return fail(Failure::TooLarge);
        if (!m_sink)
            m_body += chunk;
        else if (!m_sink(chunk))
            return fail(Failure::Stopped);
    }
}

// Aborting finishes the reply at once, and with it the request.
void BoundedRequest::fail(Failure failure)
{
    if (m_failure != Failure::None)
        return;
    m_failure = failure;
    if (m_reply && !m_concluded)
        m_reply->abort();
}

void BoundedRequest::conclude()
{
    if (m_concluded)
        return;
    m_concluded = true;
    m_deadline.stop();
    if (m_reply) {
        readAvailable();
        if (m_failure == Failure::None)
            m_failure = failureOfReply();
        m_status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        m_networkError = m_reply->error();
        m_errorString = m_reply->errorString();
        m_reply->disconnect(this);
        std::exchange(m_reply, nullptr)->deleteLater();
    }
    if (m_failure != Failure::None)
        m_body.clear();
    // Queued, so that a listener may delete this request, and never hears back inside a call.
    QTimer::singleShot(0, this, &BoundedRequest::finished);
}

BoundedRequest::Failure BoundedRequest::failureOfReply() const
{
    const QNetworkReply::NetworkError error = m_reply->error();
    // Only the stall timeout aborts a reply besides this class (Qt 6.4 calls it a cancel).
    if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError)
        return Failure::TimedOut;
    if (isInflationFailure(*m_reply))
        return Failure::Undecodable;
    const bool answered = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    return answered && !isTransportFailure(error) ? Failure::None : Failure::Network;
}
