#include "defaultsstore.h"
#include "localhttpserver.h"
#include "localisation.h"
#include "manualclock.h"
#include "systemlog.h"
#include "updatefeeds.h"
#include "updater.h"
#include "updatewindow.h"

#include <QDesktopServices>
#include <QDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

namespace {
const QString lastCheckKey = QStringLiteral("VLUpdaterLastCheck");
const QByteArray release = QByteArray("release file contents ").repeated(5000);

QStringList everythingIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}
} // namespace

// What the updater does by itself: when background checks run, what they show, and the
// automatic download that offers a file only once it matches the feed.
class TestUpdateSchedule : public QObject
{
    Q_OBJECT

public slots:
    void openUrl(const QUrl &url) { opened << url; }

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void flagsAndIntervalLiveInTheSettings();
    void scheduleCountsFromTheStoredLastCheck_data();
    void scheduleCountsFromTheStoredLastCheck();
    void noCheckBeforeTheIntervalOneAfter();
    void automaticChecksOffMeansNoCheck();
    void backgroundChecksSpeakOnlyOfNews();
    void downloadIsOfferedOnlyWhenItMatches_data();
    void downloadIsOfferedOnlyWhenItMatches();

private:
    std::unique_ptr<Updater> makeUpdater();
    void serveFeed(const QByteArray &version, const QByteArray &extra = {})
    {
        server->setResponse(
            "/appcast.xml",
            LocalHttpServer::Response::ok(UpdateFeeds::withRelease(version, extra)));
    }
    // Moves the clock and lets the network answer whatever that started.
    void advance(std::chrono::seconds by);

    std::unique_ptr<LocalHttpServer> server;
    std::unique_ptr<QTemporaryDir> downloads;
    std::unique_ptr<ManualClock> clock;
    QList<QUrl> opened;
    QStringList logged;
};

void TestUpdateSchedule::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    qRegisterMetaType<FeedCheck::Result>();
}

void TestUpdateSchedule::init()
{
    DefaultsStore::clear();
    server = std::make_unique<LocalHttpServer>();
    QVERIFY(server->isListening());
    downloads = std::make_unique<QTemporaryDir>();
    clock = std::make_unique<ManualClock>();
    opened.clear();
    logged.clear();
    SystemLog::setObserver([this](const QString &line) { logged << line; });
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openUrl");
}

void TestUpdateSchedule::cleanup()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    SystemLog::setObserver({});
    server.reset();
}

std::unique_ptr<Updater> TestUpdateSchedule::makeUpdater()
{
    return std::make_unique<Updater>(
        Updater::Config { .feedUrl = server->url(QStringLiteral("/appcast.xml")),
                          .currentVersion = QStringLiteral("1.0"),
                          .clock = clock.get(),
                          .stallTimeout = 1s,
                          .downloadFolder = downloads->path() });
}

void TestUpdateSchedule::advance(std::chrono::seconds by)
{
    clock->advance(by);
    QTest::qWait(100);
}

// The flags and the interval live in the settings: the next run reads them back, clamped.
void TestUpdateSchedule::flagsAndIntervalLiveInTheSettings()
{
    auto updater = makeUpdater();
    updater->setAutomaticallyChecksForUpdates(false);
    updater->setAutomaticallyDownloadsUpdates(true);
    updater->setUpdateCheckInterval(7200s);
    auto next = makeUpdater();
    QCOMPARE(next->automaticallyChecksForUpdates(), false);
    QCOMPARE(next->automaticallyDownloadsUpdates(), true);
    QCOMPARE(next->updateCheckInterval(), 7200s);
    updater->setUpdateCheckInterval(10s);
    QCOMPARE(next->updateCheckInterval(), Updater::minimumInterval);
    DefaultsStore::setValue(QStringLiteral("VLUpdaterInterval"), qint64(1) << 40);
    QCOMPARE(next->updateCheckInterval(), Updater::maximumInterval);
    DefaultsStore::setValue(QStringLiteral("VLUpdaterInterval"), QStringLiteral("often"));
    QCOMPARE(next->updateCheckInterval(), Updater::defaultInterval);
}

void TestUpdateSchedule::scheduleCountsFromTheStoredLastCheck_data()
{
    QTest::addColumn<qint64>("lastCheckAgo"); // seconds; -1: never checked
    QTest::addColumn<qint64>("dueIn");
    QTest::newRow("never checked: shortly after launch") << qint64(-1) << qint64(60);
    QTest::newRow("checked 10 s ago") << qint64(10) << qint64(3590);
    QTest::newRow("checked 59 min ago: settle delay") << qint64(3590) << qint64(60);
    QTest::newRow("checked a day ago: settle delay") << qint64(86400) << qint64(60);
    QTest::newRow("last check in the future") << qint64(-86400) << qint64(3600);
}

void TestUpdateSchedule::scheduleCountsFromTheStoredLastCheck()
{
    QFETCH(qint64, lastCheckAgo);
    QFETCH(qint64, dueIn);
    if (lastCheckAgo != -1)
        DefaultsStore::setValue(lastCheckKey, clock->now().addSecs(-lastCheckAgo));
    auto updater = makeUpdater();
    QVERIFY(!updater->nextBackgroundCheck().isValid());
    updater->start();
    QCOMPARE(updater->nextBackgroundCheck(), clock->now().addSecs(dueIn));
    QCOMPARE(clock->runningTickers(), 1);
}

void TestUpdateSchedule::noCheckBeforeTheIntervalOneAfter()
{
    serveFeed("1.0");
    DefaultsStore::setValue(lastCheckKey, clock->now().addSecs(-1800));
    auto updater = makeUpdater();
    updater->start();
    advance(1799s);
    QCOMPARE(server->requestCount("/appcast.xml"), 0);
    QSignalSpy finished(updater.get(), &Updater::checkFinished);
    advance(1s);
    QVERIFY(finished.size() == 1 || finished.wait(5000));
    QCOMPARE(server->requestCount("/appcast.xml"), 1);
    QCOMPARE(updater->lastUpdateCheckDate(), clock->now());
    QCOMPARE(updater->nextBackgroundCheck(), clock->now().addSecs(3600));

    advance(3599s);
    QCOMPARE(server->requestCount("/appcast.xml"), 1);
    advance(1s);
    QTRY_COMPARE(server->requestCount("/appcast.xml"), 2);
}

void TestUpdateSchedule::automaticChecksOffMeansNoCheck()
{
    serveFeed("1.0");
    DefaultsStore::setValue(QStringLiteral("VLUpdaterAutoCheck"), false);
    auto updater = makeUpdater();
    updater->start();
    QVERIFY(!updater->nextBackgroundCheck().isValid());
    QCOMPARE(clock->runningTickers(), 0);
    advance(48h);
    QCOMPARE(server->requests().size(), 0);

    updater->setAutomaticallyChecksForUpdates(true);
    QCOMPARE(updater->nextBackgroundCheck(), clock->now().addSecs(60));
    updater->setAutomaticallyChecksForUpdates(false);
    QCOMPARE(clock->runningTickers(), 0);
}

// A background check shows nothing for a failure or for no news, and offers a new version
// once per run; the user asking still gets the answer.
void TestUpdateSchedule::backgroundChecksSpeakOnlyOfNews()
{
    server->setResponse("/appcast.xml", LocalHttpServer::Response::ok("<html>down</html>"));
    auto updater = makeUpdater();
    QSignalSpy finished(updater.get(), &Updater::checkFinished);
    QSignalSpy offered(updater.get(), &Updater::updateOffered);
    updater->start();
    advance(60s);
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().value<FeedCheck::Result>().outcome,
             FeedCheck::Outcome::Failed);
    serveFeed("0.9");
    advance(3600s);
    QTRY_COMPARE(finished.size(), 2);
    QVERIFY(!updater->window());
    QVERIFY(logged.isEmpty());

    serveFeed("1.1", "<description>Faster.</description>");
    advance(3600s);
    QTRY_COMPARE(offered.size(), 1);
    QCOMPARE(offered.first(), (QVariantList { QStringLiteral("1.1"), QString() }));
    QVERIFY(updater->window()->isVisible());
    QCOMPARE(updater->window()->releaseNotesView()->toPlainText(), QStringLiteral("Faster."));
    updater->window()->close();
    advance(3600s);
    QTRY_COMPARE(finished.size(), 4);
    QTest::qWait(100);
    QCOMPARE(offered.size(), 1);
    QVERIFY(!updater->window()->isVisible());
    updater->checkForUpdates();
    QTRY_COMPARE(offered.size(), 2);
    QVERIFY(updater->window()->isVisible());
}

void TestUpdateSchedule::downloadIsOfferedOnlyWhenItMatches_data()
{
    QTest::addColumn<QByteArray>("served");
    const QByteArray tampered = QByteArray(release).replace(100, 1, "X");
    QTest::newRow("matching") << release;
    QTest::newRow("other contents") << tampered;
    QTest::newRow("shorter than announced") << release.left(1000);
    QTest::newRow("longer than announced") << release + "trailer";
}

// A file that does not match the feed's length and digest is deleted and never offered; one
// that matches is offered under a free name beside the user's own files.
void TestUpdateSchedule::downloadIsOfferedOnlyWhenItMatches()
{
    QFETCH(QByteArray, served);
    const QUrl fileUrl = server->url(QStringLiteral("/files/Veluna-1.1.AppImage"));
    server->setResponse("/files/Veluna-1.1.AppImage", LocalHttpServer::Response::ok(served));
    serveFeed("1.1", UpdateFeeds::enclosure(fileUrl, release.size(), UpdateFeeds::sha256(release)));
    const QString usersFile = downloads->filePath(QStringLiteral("Veluna-1.1.AppImage"));
    QFile existing(usersFile);
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.write("the user's own file");
    existing.close();

    DefaultsStore::setValue(QStringLiteral("VLUpdaterAutoDownload"), true);
    auto updater = makeUpdater();
    QSignalSpy offered(updater.get(), &Updater::updateOffered);
    QSignalSpy failed(updater.get(), &Updater::downloadFailed);
    updater->start();
    advance(60s);
    QTRY_COMPARE_WITH_TIMEOUT(offered.size() + failed.size(), 1, 5000);
    QCOMPARE(server->requestCount("/files/Veluna-1.1.AppImage"), 1);
    QVERIFY(existing.open(QIODevice::ReadOnly));
    QCOMPARE(existing.readAll(), QByteArray("the user's own file"));
    if (served != release) {
        QTest::qWait(100);
        QCOMPARE(offered.size(), 0);
        QVERIFY(!updater->window());
        QCOMPARE(everythingIn(downloads->path()),
                 QStringList { QStringLiteral("Veluna-1.1.AppImage") });
        QCOMPARE(logged,
                 QStringList { QStringLiteral("Veluna: mise à jour: ")
                               + failed.first().first().toString() });
        return;
    }
    const QString path = downloads->filePath(QStringLiteral("Veluna-1.1 (1).AppImage"));
    QCOMPARE(offered.first(), (QVariantList { QStringLiteral("1.1"), path }));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), release);
    QCOMPARE(everythingIn(downloads->path()),
             (QStringList { QStringLiteral("Veluna-1.1 (1).AppImage"),
                            QStringLiteral("Veluna-1.1.AppImage") }));
    UpdateWindow *window = updater->window();
    QCOMPARE(window->informativeText(),
             L(QStringLiteral("update.downloaded_message"), QStringLiteral("1.1"), path));
    QTest::mouseClick(window->primaryButton(), Qt::LeftButton);
    QCOMPARE(opened, QList<QUrl> { QUrl::fromLocalFile(downloads->path()) });
}

QTEST_MAIN(TestUpdateSchedule)
#include "tst_updateschedule.moc"
