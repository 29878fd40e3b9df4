// SPDX-License-Identifier: MIT
#pragma once

#include "defaultsstore.h"
#include "localhttpserver.h"
#include "manualclock.h"
#include "systemlog.h"
#include "updater.h"

#include <QDesktopServices>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// Update feeds as the maker's server publishes them; extra goes inside the release's <item>.
namespace UpdateFeeds {
QByteArray feed(const QByteArray &items);
QByteArray item(const QByteArray &version, const QByteArray &extra = {});
// A feed of one release with its download page.
QByteArray withRelease(const QByteArray &version, const QByteArray &extra = {});
// The <enclosure> of a release's file, announcing the length and SHA-256 of data.
QByteArray enclosure(const QUrl &url, const QByteArray &data);
} // namespace UpdateFeeds

// Version 1.0's updater with a local server, a manual clock and a download folder, fresh each test.
class UpdaterTest : public QObject
{
    Q_OBJECT

public:
    ~UpdaterTest() override
    {
        for (const char *scheme : { "https", "file" })
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }

public slots:
    void openUrl(const QUrl &url) { opened << url; }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        qRegisterMetaType<FeedCheck::Result>();
        SystemLog::setObserver([this](const QString &line) { logged << line; });
        for (const char *scheme : { "https", "file" })
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "openUrl");
    }
    void init()
    {
        DefaultsStore::clear();
        server = std::make_unique<LocalHttpServer>();
        QVERIFY(server->isListening());
        clock = std::make_unique<ManualClock>();
        downloads = std::make_unique<QTemporaryDir>();
        opened.clear();
        logged.clear();
    }

protected:
    std::unique_ptr<Updater> makeUpdater(const QString &feed = QStringLiteral("/appcast.xml"))
    {
        return std::make_unique<Updater>(
            Updater::Config { .feedUrl = feed.startsWith(u'/') ? server->url(feed) : QUrl(feed),
                              .currentVersion = QStringLiteral("1.0"),
                              .clock = clock.get(),
                              .stallTimeout = std::chrono::seconds(1),
                              .downloadFolder = downloads->path() });
    }
    void serveFeed(const QByteArray &feed)
    {
        server->setResponse("/appcast.xml", LocalHttpServer::Response::ok(feed));
    }

    std::unique_ptr<LocalHttpServer> server;
    std::unique_ptr<ManualClock> clock;
    std::unique_ptr<QTemporaryDir> downloads;
    QList<QUrl> opened;
    QStringList logged;
};
