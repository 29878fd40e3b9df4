// SPDX-License-Identifier: MIT
#include "settingkeys.h"
#include "updatefeeds.h"
#include "updatewindow.h"

#include <QDir>
#include <QPushButton>
#include <QSignalSpy>

using namespace std::chrono_literals;

const QByteArray release = QByteArray("release file contents ").repeated(5000);

class TestUpdateSchedule : public UpdaterTest
{
    Q_OBJECT

private slots:
    void checkIsDueOneIntervalAfterTheLast_data();
    void checkIsDueOneIntervalAfterTheLast();
    void backgroundChecksSpeakOnlyOfNews();
    void downloadIsOfferedOnlyWhenItMatches_data();
    void downloadIsOfferedOnlyWhenItMatches();
};

void TestUpdateSchedule::checkIsDueOneIntervalAfterTheLast_data()
{
    QTest::addColumn<qint64>("lastCheckAgo"); // seconds; -1: never checked
    QTest::addColumn<qint64>("interval"); // as stored; 0: none
    QTest::addColumn<bool>("automatic");
    QTest::addColumn<qint64>("dueIn");
    const auto row = [](const char *name, qint64 ago, qint64 interval, bool automatic, qint64 due) {
        QTest::newRow(name) << ago << interval << automatic << due;
    };
    row("never checked: settle delay", -1, 0, true, 60);
    row("overdue: settle delay", 3590, 0, true, 60);
    row("last check in the future counts as now", -86400, 0, true, 3600);
    row("checked 10 s ago, interval below the minimum", 10, 10, true, 3590);
    row("interval above the maximum", 10, qint64(1) << 40, true, 7 * 86400 - 10);
    row("automatic checks off, then on", 10, 0, false, 60);
}

void TestUpdateSchedule::checkIsDueOneIntervalAfterTheLast()
{
    QFETCH(qint64, lastCheckAgo);
    QFETCH(qint64, interval);
    QFETCH(bool, automatic);
    QFETCH(qint64, dueIn);
    serveFeed(UpdateFeeds::withRelease("1.0"));
    if (lastCheckAgo != -1)
        DefaultsStore::setValue(SettingKeys::updaterLastCheck.key(),
                                clock->now().addSecs(-lastCheckAgo));
    if (interval)
        DefaultsStore::setValue(SettingKeys::updaterInterval.key(), interval);
    DefaultsStore::setValue(SettingKeys::updaterAutoCheck.key(), automatic);
    auto updater = makeUpdater();
    updater->start();
    if (!automatic) {
        QVERIFY(!updater->nextBackgroundCheck().isValid());
        QCOMPARE(clock->runningTickers(), 0);
        clock->advance(48h);
        QVERIFY(!updater->isChecking());
        updater->setAutomaticallyChecksForUpdates(true);
    }
    QCOMPARE(updater->nextBackgroundCheck(), clock->now().addSecs(dueIn));
    QCOMPARE(clock->runningTickers(), 1);
    // A tick starts the check at once: a request on its way starts with it.
    clock->advance(std::chrono::seconds(dueIn - 1));
    QVERIFY(!updater->isChecking());
    clock->advance(1s);
    QVERIFY(updater->isChecking());
    QTRY_COMPARE(server->requests().size(), 1);
    QTRY_VERIFY(!updater->isChecking());
    QCOMPARE(updater->lastUpdateCheckDate(), clock->now());
    QCOMPARE(updater->nextBackgroundCheck(),
             clock->now().addSecs(updater->updateCheckInterval().count()));
}

// A background check shows nothing but news, offered once per run; the user asking sees it again.
void TestUpdateSchedule::backgroundChecksSpeakOnlyOfNews()
{
    serveFeed("<html>down</html>");
    auto updater = makeUpdater();
    QSignalSpy finished(updater.get(), &Updater::checkFinished);
    QSignalSpy offered(updater.get(), &Updater::updateOffered);
    updater->start();
    clock->advance(60s);
    QTRY_COMPARE(finished.size(), 1);
    QVERIFY(!updater->window());
    QVERIFY(logged.isEmpty());

    serveFeed(UpdateFeeds::withRelease("1.1"));
    clock->advance(3600s);
    QTRY_COMPARE(offered.size(), 1);
    QCOMPARE(offered.first(), (QVariantList { QStringLiteral("1.1"), QString() }));
    QVERIFY(updater->window()->isVisible());
    updater->window()->close();
    clock->advance(3600s);
    QTRY_COMPARE(finished.size(), 3);
    QCOMPARE(offered.size(), 1);
    updater->checkForUpdates();
    QTRY_COMPARE(offered.size(), 2);
}

void TestUpdateSchedule::downloadIsOfferedOnlyWhenItMatches_data()
{
    QTest::addColumn<QByteArray>("served");
    QTest::newRow("matching") << release;
    QTest::newRow("other contents") << QByteArray(release).replace(100, 1, "X");
    QTest::newRow("shorter than announced") << release.left(1000);
    QTest::newRow("longer than announced") << release + "trailer";
}

// A file unlike the feed's length and digest is deleted; the user's own file is never touched.
void TestUpdateSchedule::downloadIsOfferedOnlyWhenItMatches()
{
    QFETCH(QByteArray, served);
    const QUrl fileUrl = server->url(QStringLiteral("/Veluna-1.1.AppImage"));
    server->setResponse("/Veluna-1.1.AppImage", LocalHttpServer::Response::ok(served));
    serveFeed(UpdateFeeds::withRelease("1.1", UpdateFeeds::enclosure(fileUrl, release)));
    const auto contents = [](const QString &path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QFile usersFile(downloads->filePath(QStringLiteral("Veluna-1.1.AppImage")));
    QVERIFY(usersFile.open(QIODevice::WriteOnly));
    usersFile.write("the user's own file");
    usersFile.close();

    DefaultsStore::setValue(SettingKeys::updaterAutoDownload.key(), true);
    auto updater = makeUpdater();
    QSignalSpy offered(updater.get(), &Updater::updateOffered);
    QSignalSpy failed(updater.get(), &Updater::downloadFailed);
    updater->start();
    clock->advance(60s);
    QTRY_COMPARE_WITH_TIMEOUT(offered.size() + failed.size(), 1, 5000);
    QCOMPARE(contents(usersFile.fileName()), QByteArray("the user's own file"));
    const QStringList files = QDir(downloads->path()).entryList(QDir::Files | QDir::Hidden);
    if (served != release) {
        QCOMPARE(offered.size(), 0);
        QVERIFY(!updater->window());
        QCOMPARE(files, QStringList { QStringLiteral("Veluna-1.1.AppImage") });
        QCOMPARE(logged,
                 QStringList { QStringLiteral("Veluna: mise à jour: ")
                               + failed.first().first().toString() });
        return;
    }
    const QString path = downloads->filePath(QStringLiteral("Veluna-1.1 (1).AppImage"));
    QCOMPARE(offered.first(), (QVariantList { QStringLiteral("1.1"), path }));
    QCOMPARE(contents(path), release);
    QCOMPARE(files.size(), 2);
    QTest::mouseClick(updater->window()->primaryButton(), Qt::LeftButton);
    QCOMPARE(opened, QList<QUrl> { QUrl::fromLocalFile(downloads->path()) });
}

QTEST_MAIN(TestUpdateSchedule)
#include "tst_updateschedule.moc"
