// SPDX-License-Identifier: MIT
#pragma once

#include "clock.h"
#include "feedcheck.h"
#include "settingkeys.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>

class UpdateDownload;
class UpdateWindow;

// Keeps the program up to date, one instance for the process. While automatic checks are on,
// it looks at the update feed in the background at most once per check interval, counted from
// the last check (manual or not) kept in the settings, so a restart does not check early; one
// coarse timer waits for the next due check and nothing else wakes up. A background check shows
// nothing unless it finds a newer version; it then offers it in the update window, or, with
// automatic downloads on, first downloads the file to the download folder and offers it only
// once its length and SHA-256 match the feed. checkForUpdates() is the check the user asks for:
// the same window shows its progress, answer or error. The two flags and the interval live in
// the settings store and are read at each use.
class Updater : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::seconds defaultInterval { SettingKeys::updaterInterval.fallback };
    static constexpr std::chrono::seconds minimumInterval { SettingKeys::updaterInterval.minimum };
    static constexpr std::chrono::seconds maximumInterval { SettingKeys::updaterInterval.maximum };
    // How long after launch (or after automatic checks are switched on) the first due check
    // waits, so a start at login does not race the network coming up.
    static constexpr std::chrono::seconds settleDelay { 60 };

    // Empty or null members take the program's own: the feed address and version it was built
    // with, the system clock, the user's download folder.
    struct Config
    {
        QUrl feedUrl {};
        QString currentVersion {};
        Clock *clock = nullptr;
        std::chrono::milliseconds stallTimeout { 15000 };
        QString downloadFolder {};
    };

    explicit Updater(QObject *parent = nullptr);
    explicit Updater(Config config, QObject *parent = nullptr);
    ~Updater() override;

    // Starts the background schedule; called once at launch.
    void start();

    bool automaticallyChecksForUpdates() const;
    void setAutomaticallyChecksForUpdates(bool on);
    bool automaticallyDownloadsUpdates() const;
    void setAutomaticallyDownloadsUpdates(bool on);
    std::chrono::seconds updateCheckInterval() const;
    void setUpdateCheckInterval(std::chrono::seconds interval);
    std::optional<QDateTime> lastUpdateCheckDate() const;

    // When the next background check is due; invalid while none is scheduled.
    QDateTime nextBackgroundCheck() const { return m_nextCheck; }
    bool isChecking() const { return !m_check.isNull(); }
    bool isDownloading() const { return !m_download.isNull(); }
    UpdateWindow *window() const { return m_window.get(); }

public slots:
    void checkForUpdates();

signals:
    void checkFinished(const FeedCheck::Result &result);
    // A newer version is shown to the user; downloadedFile is empty when only its page is.
    void updateOffered(const QString &version, const QString &downloadedFile);
    void downloadFailed(const QString &reason);

private:
    void scheduleBackgroundCheck();
    void runBackgroundCheck();
    void startCheck(bool manual);
    void onCheckFinished(const FeedCheck::Result &result);
    void handleBackgroundResult(const FeedCheck::Result &result);
    void startDownload(const Appcast::Item &item);
    void onDownloadFinished();
    void showManualResult(const FeedCheck::Result &result);
    void offer(const Appcast::Item &item, QString downloadedFile);
    void cancelManualCheck();
    UpdateWindow &ensureWindow();
    void bringWindowForward();

    Config m_config;
    Clock &m_clock;
    bool m_started = false;
    bool m_checkIsManual = false;
    std::unique_ptr<Clock::Ticker> m_ticker;
    QDateTime m_nextCheck;
    QPointer<FeedCheck> m_check;
    QPointer<UpdateDownload> m_download;
    QString m_offeredVersion;
    QString m_offeredFile;
    std::unique_ptr<UpdateWindow> m_window;
};
