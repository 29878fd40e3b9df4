// SPDX-License-Identifier: MIT
#include "updater.h"

#include "buildinfo.h"
#include "settingkeys.h"
#include "systemlog.h"
#include "updatedownload.h"
#include "updatewindow.h"

#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

namespace {

Updater::Config completed(Updater::Config config)
{
    if (config.feedUrl.isEmpty())
        config.feedUrl = QUrl(QString::fromUtf8(BuildInfo::updateFeedUrl));
    if (config.currentVersion.isEmpty())
        config.currentVersion = QString::fromUtf8(BuildInfo::version);
    if (!config.clock)
        config.clock = &Clock::system();
    if (config.downloadFolder.isEmpty())
        config.downloadFolder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    return config;
}

} // namespace

Updater::Updater(QObject *parent)
    : Updater(Config {}, parent)
{ }

Updater::Updater(Config config, QObject *parent)
    : QObject(parent)
    , m_config(completed(std::move(config)))
    , m_clock(*m_config.clock)
{ }

Updater::~Updater() = default;

void Updater::start()
{
    m_started = true;
    scheduleBackgroundCheck();
}

bool Updater::automaticallyChecksForUpdates() const
{
    return SettingKeys::updaterAutoCheck.read();
}

void Updater::setAutomaticallyChecksForUpdates(bool on)
{
    SettingKeys::updaterAutoCheck.write(on);
    scheduleBackgroundCheck();
}

bool Updater::automaticallyDownloadsUpdates() const
{
    return SettingKeys::updaterAutoDownload.read();
}

void Updater::setAutomaticallyDownloadsUpdates(bool on)
{
    SettingKeys::updaterAutoDownload.write(on);
}

std::chrono::seconds Updater::updateCheckInterval() const
{
    return std::chrono::seconds(SettingKeys::updaterInterval.read());
}

void Updater::setUpdateCheckInterval(std::chrono::seconds interval)
{
    SettingKeys::updaterInterval.write(interval.count());
    scheduleBackgroundCheck();
}

std::optional<QDateTime> Updater::lastUpdateCheckDate() const
{
    return SettingKeys::updaterLastCheck.read();
}

// Due one interval after the last check, but never sooner than the settle delay; a last check
// in the future means the clock was wrong then or is now, so it counts as now.
void Updater::scheduleBackgroundCheck()
{
    m_ticker.reset();
    m_nextCheck = {};
    if (!m_started || !automaticallyChecksForUpdates() || m_check)
        return;
    const QDateTime now = m_clock.now();
    QDateTime due = now.addSecs(settleDelay.count());
    if (const std::optional<QDateTime> last = lastUpdateCheckDate(); last && last->isValid())
        due = std::max(due, std::min(*last, now).addSecs(updateCheckInterval().count()));
    m_nextCheck = due;
    m_ticker = m_clock.startTicker(std::chrono::seconds(now.secsTo(due)), [this] {
        m_ticker.reset();
        runBackgroundCheck();
    });
}

void Updater::runBackgroundCheck()
{
    m_nextCheck = {};
    if (automaticallyChecksForUpdates() && !m_check)
        startCheck(false);
}

void Updater::checkForUpdates()
{
    ensureWindow().showChecking();
    bringWindowForward();
    // A background check already on its way simply becomes the one the user watches.
    m_checkIsManual = true;
    if (!m_check)
        startCheck(true);
}

void Updater::startCheck(bool manual)
{
    SettingKeys::updaterLastCheck.write(m_clock.now());
    m_ticker.reset();
    m_nextCheck = {};
    m_checkIsManual = manual;
    m_check = new FeedCheck(m_config.feedUrl, m_config.currentVersion, m_config.stallTimeout, this);
    connect(m_check, &FeedCheck::finished, this, &Updater::onCheckFinished);
    m_check->start();
}

void Updater::onCheckFinished(const FeedCheck::Result &result)
{
    m_check->deleteLater();
    m_check = nullptr;
    emit checkFinished(result);
    if (m_checkIsManual)
        showManualResult(result);
    else
        handleBackgroundResult(result);
    scheduleBackgroundCheck();
}

void Updater::showManualResult(const FeedCheck::Result &result)
{
    switch (result.outcome) {
    case FeedCheck::Outcome::UpToDate:
        ensureWindow().showUpToDate(m_config.currentVersion);
        break;
    case FeedCheck::Outcome::UpdateAvailable:
        offer(result.newest, {});
        return;
    case FeedCheck::Outcome::Failed:
        ensureWindow().showError(result.error);
        break;
    }
    bringWindowForward();
}

// Background checks stay silent unless something new is there, and offer a version once per run.
void Updater::handleBackgroundResult(const FeedCheck::Result &result)
{
    if (result.outcome != FeedCheck::Outcome::UpdateAvailable
        || result.newest.version == m_offeredVersion)
        return;
    if (automaticallyDownloadsUpdates() && result.newest.hasVerifiableFile())
        startDownload(result.newest);
    else
        offer(result.newest, {});
}

void Updater::startDownload(const Appcast::Item &item)
{
    if (m_download)
        return;
    m_download = new UpdateDownload(item, m_config.downloadFolder, m_config.stallTimeout, this);
    connect(m_download, &UpdateDownload::finished, this, &Updater::onDownloadFinished);
    m_download->start();
}

void Updater::onDownloadFinished()
{
    UpdateDownload *download = m_download;
    m_download = nullptr;
    download->deleteLater();
    if (!download->errorString().isEmpty()) {
        SystemLog::write(QStringLiteral("Veluna: mise à jour: ") + download->errorString());
        emit downloadFailed(download->errorString());
        return;
    }
    offer(download->item(), download->filePath());
}

void Updater::offer(const Appcast::Item &item, QString downloadedFile)
{
    // A file already downloaded for this version is worth more than its web page.
    if (downloadedFile.isEmpty() && item.version == m_offeredVersion
        && QFileInfo::exists(m_offeredFile))
        downloadedFile = m_offeredFile;
    m_offeredVersion = item.version;
    m_offeredFile = downloadedFile;
    ensureWindow().showAvailable(item, m_config.currentVersion, downloadedFile);
    bringWindowForward();
    emit updateOffered(item.version, downloadedFile);
}

void Updater::cancelManualCheck()
{
    if (!m_check || !m_checkIsManual)
        return;
    m_check->cancel();
    m_check->deleteLater();
    m_check = nullptr;
    scheduleBackgroundCheck();
}

UpdateWindow &Updater::ensureWindow()
{
    if (!m_window) {
        m_window = std::make_unique<UpdateWindow>();
        connect(m_window.get(), &UpdateWindow::cancelRequested, this, &Updater::cancelManualCheck);
    }
    return *m_window;
}

void Updater::bringWindowForward()
{
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}
