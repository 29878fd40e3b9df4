// SPDX-License-Identifier: MIT
#include "feedcheck.h"

#include "boundedrequest.h"
#include "localisation.h"
#include "versionorder.h"

namespace {
FeedCheck::Result failure(const QString &error)
{
    return { FeedCheck::Outcome::Failed, {}, error };
}
} // namespace

FeedCheck::FeedCheck(QUrl feedUrl, QString currentVersion, std::chrono::milliseconds stallTimeout,
                     QObject *parent)
    : QObject(parent)
    , m_feedUrl(std::move(feedUrl))
    , m_currentVersion(std::move(currentVersion))
    , m_stallTimeout(stallTimeout)
{ }

FeedCheck::~FeedCheck()
{
    cancel();
}

void FeedCheck::start()
{
    m_request = BoundedRequest::get(m_feedUrl,
                                    { .deadline = m_stallTimeout * maxStallPeriods,
                                      .maxBodySize = maxFeedSize,
                                      .stallTimeout = m_stallTimeout },
                                    this);
    connect(m_request, &BoundedRequest::finished, this, &FeedCheck::onRequestFinished);
}

// Destroying the request ends its transfer.
void FeedCheck::cancel()
{
    m_done = true;
    if (m_request) {
        m_request->disconnect(this);
        m_request->deleteLater();
    }
}

void FeedCheck::onRequestFinished()
{
    finish(resultOfRequest());
    m_request->deleteLater();
}

FeedCheck::Result FeedCheck::resultOfRequest() const
{
    using Failure = BoundedRequest::Failure;
    switch (m_request->failure()) {
    case Failure::None:
        if (m_request->networkError() == QNetworkReply::NoError)
            return resultOfFeed(m_request->takeBody());
        break;
    case Failure::RefusedAddress:
    case Failure::RefusedRedirect:
        return failure(
            L(QStringLiteral("update.error_insecure"), m_request->refusedUrl().toDisplayString()));
    case Failure::TimedOut:
        return failure(L(QStringLiteral("update.error_timeout")));
    // Compressed feeds are inflated only up to the bound: one that fails is one past it.
    case Failure::TooLarge:
    case Failure::Undecodable:
        return failure(L(QStringLiteral("update.error_too_large")));
    case Failure::Stopped:
    case Failure::Network:
        break;
    }
    return failure(L(QStringLiteral("update.error_network"), m_request->errorString()));
}

FeedCheck::Result FeedCheck::resultOfFeed(const QByteArray &body) const
{
    const std::optional<Appcast> feed = Appcast::parse(body);
    if (!feed)
        return failure(L(QStringLiteral("update.error_malformed")));
    const std::optional<Appcast::Item> newest = feed->newest();
    if (!newest || !VersionOrder::isNewer(newest->version, m_currentVersion))
        return { Outcome::UpToDate, {}, {} };
    return { Outcome::UpdateAvailable, *newest, {} };
}

void FeedCheck::finish(const Result &result)
{
    if (m_done)
        return;
    m_done = true;
    emit finished(result);
}
