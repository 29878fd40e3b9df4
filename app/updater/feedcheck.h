// SPDX-License-Identifier: MIT
#pragma once

#include "appcast.h"

#include <QObject>
#include <QPointer>

#include <chrono>

class BoundedRequest;

// One look at the update feed: fetches it (at most maxFeedSize bytes, inflated; a transfer that
// stalls for the given time fails, and so does one still running after maxStallPeriods of
// it), reads it and compares its newest release with the running version. finished() comes exactly
// once, always after start() has returned, unless the check is cancelled or destroyed first;
// failures carry a text ready to show.
class FeedCheck : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 maxFeedSize = 1024 * 1024;
    // A feed this small that takes longer is a server keeping us waiting on purpose.
    static constexpr int maxStallPeriods = 4;

    enum class Outcome { UpToDate, UpdateAvailable, Failed };
    struct Result
    {
        Outcome outcome = Outcome::Failed;
        Appcast::Item newest; // when UpdateAvailable
        QString error; // when Failed
    };

    FeedCheck(QUrl feedUrl, QString currentVersion, std::chrono::milliseconds stallTimeout,
              QObject *parent = nullptr);
    ~FeedCheck() override;

    void start();
    void cancel();

signals:
    void finished(const FeedCheck::Result &result);

private:
    void onRequestFinished();
    Result resultOfRequest() const;
    Result resultOfFeed(const QByteArray &body) const;
    void finish(const Result &result);

    QUrl m_feedUrl;
    QString m_currentVersion;
    std::chrono::milliseconds m_stallTimeout;
    QPointer<BoundedRequest> m_request;
    bool m_done = false;
};

Q_DECLARE_METATYPE(FeedCheck::Result)
