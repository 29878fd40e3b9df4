#include "feedcheck.h"

#include "localisation.h"
#include "networkaccess.h"
#include "versionorder.h"

#include <QNetworkReply>
#include <QTimer>

namespace {
FeedCheck::Result failure(const QString &error)
{
    return { FeedCheck::Outcome::Failed, {}, error };
}

QString insecure(const QUrl &url)
{
    return L(QStringLiteral("update.error_insecure"), url.toDisplayString());
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
    m_reply = NetworkAccess::get(m_feedUrl, m_stallTimeout);
    if (!m_reply) {
        // Answered later, so the caller sees every outcome the same way.
        QTimer::singleShot(0, this, [this] { finish(failure(insecure(m_feedUrl))); });
        return;
    }
    // Bounds what Qt buffers too, not only what is kept here.
    m_reply->setReadBufferSize(64 * 1024);
    connect(m_reply, &QNetworkReply::readyRead, this, &FeedCheck::readSome);
    connect(m_reply, &QNetworkReply::finished, this, &FeedCheck::onReplyFinished);
}

void FeedCheck::cancel()
{
    m_done = true;
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

void FeedCheck::readSome()
{
    m_body += m_reply->read(maxFeedSize + 1 - m_body.size());
    if (m_body.size() > maxFeedSize) {
        m_tooLarge = true;
        m_reply->abort();
    }
}

void FeedCheck::onReplyFinished()
{
    if (!m_tooLarge)
        readSome();
    finish(resultOfReply());
    m_reply->deleteLater();
}

FeedCheck::Result FeedCheck::resultOfReply() const
{
    if (m_tooLarge)
        return failure(L(QStringLiteral("update.error_too_large")));
    if (const QUrl refused = NetworkAccess::refusedRedirect(m_reply); !refused.isEmpty())
        return failure(insecure(refused));
    switch (m_reply->error()) {
    case QNetworkReply::NoError:
        return resultOfFeed();
    // Nothing here aborts a reply otherwise: a stalled transfer is what ended it.
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
        return failure(L(QStringLiteral("update.error_timeout")));
    default:
        return failure(L(QStringLiteral("update.error_network"), m_reply->errorString()));
    }
}

FeedCheck::Result FeedCheck::resultOfFeed() const
{
    const std::optional<Appcast> feed = Appcast::parse(m_body);
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
