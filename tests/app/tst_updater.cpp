// SPDX-License-Identifier: MIT
// What the updater reads from a feed and the version order it relies on; then the updater against
// a local server: what the window shows for a failed check the user asks for, when background
// checks fall due, and the download they may start.
#include "appcast.h"
#include "defaultsstore.h"
#include "localhttpserver.h"
#include "localisation.h"
#include "manualclock.h"
#include "settingkeys.h"
#include "testfiles.h"
#include "updater.h"
#include "updatewindow.h"

#include <QCryptographicHash>
#include <QDir>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;
using Outcome = FeedCheck::Outcome;
using Response = LocalHttpServer::Response;

const QByteArray release = QByteArray("release file contents ").repeated(5000);

// Update feeds as the maker's server publishes them; extra goes inside the release's <item>.
QByteArray feed(const QByteArray &items)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<rss version=\"2.0\" xmlns:veluna=\"https://plenox.app/xmlns/appcast\">\n"
           "<channel><title>Veluna</title><link>https://plenox.app</link>\n"
        + items + "</channel></rss>\n";
}
QByteArray item(const QByteArray &version, const QByteArray &extra = {})
{
    return "<item><title>Veluna " + version + "</title><veluna:version>" + version
        + "</veluna:version>" + extra + "</item>\n";
}
// A feed of one release with its download page.
QByteArray withRelease(const QByteArray &version, const QByteArray &extra = {})
{
    return feed(item(version, "<link>https://plenox.app/veluna/" + version + "</link>" + extra));
}

// Version 1.0's updater with a local server, a manual clock and a download folder, fresh each test.
class TestUpdater : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        qRegisterMetaType<FeedCheck::Result>();
    }
    void init()
    {
        DefaultsStore::clear();
        server = std::make_unique<LocalHttpServer>();
        clock = std::make_unique<ManualClock>();
        downloads = std::make_unique<QTemporaryDir>();
    }

private:
    std::unique_ptr<Updater> makeUpdater()
    {
        return std::make_unique<Updater>(
            Updater::Config { .feedUrl = server->url(QStringLiteral("/appcast.xml")),
                              .currentVersion = QStringLiteral("1.0"),
                              .clock = clock.get(),
                              .stallTimeout = std::chrono::seconds(1),
                              .downloadFolder = downloads->path() });
    }
    std::unique_ptr<LocalHttpServer> server;
    std::unique_ptr<ManualClock> clock;
    std::unique_ptr<QTemporaryDir> downloads;

private slots:
    // A feed as read: "refused", or how many items count, the newest version, its download page
    // and whether the updater may fetch its file by itself.
    void feedsAreReadWithCare()
    {
        const auto read = [](const QByteArray &text) {
            const auto parsed = Appcast::parse(text);
            return !parsed
                ? QStringLiteral("refused")
                : QStringLiteral("%1 %2 [%3] %4")
                      .arg(parsed->items().size())
                      .arg(parsed->newest()->version, parsed->newest()->downloadPage.toString(),
                           parsed->newest()->hasVerifiableFile() ? "file" : "no file");
        };
        const auto file = [](const QByteArray &attributes) {
            return feed(item("1.3", "<enclosure " + attributes + "/>"));
        };
        const QByteArray url = "url=\"https://plenox.app/v.AppImage\" ";
        const QByteArray hex = QByteArray(32, '\xab').toHex().toUpper();
        const QByteArray hash = "veluna:sha256=\"" + hex + "\" ";
        const std::pair<QByteArray, const char *> rows[] = {
            // items without a version of ours do not count; a plain-http page is dropped
            { feed(item("1.9") + item("1.10", "<link>http://plenox.app/veluna/old</link>")
                   + "<item><other:version xmlns:other=\"urn:other\">9.0</other:version></item>"),
              "2 1.10 [] no file" },
            // the newest as people read versions: numeric, a pre-release before its release, an
            // absurdly long part read as it is
            // (the newest listed last: of two read as equal, the first would win)
            { feed(item("1.2.0rc1") + item("1.2")), "2 1.2 [] no file" },
            { feed(item("1.5") + item("1.99999999999999999999999")),
              "2 1.99999999999999999999999 [] no file" },
            { feed(item("1.2")).left(150), "refused" }, // truncated
            { feed(item("latest") + "<item><version>9.0</version></item>"), "refused" }, // garbage
            { file("url=\"http://plenox.app/v\" length=\"5\" " + hash), "1 1.3 [] no file" },
            { file(url + "length=\"5\" veluna:sha256=\"abcd\""), "1 1.3 [] no file" },
        };
        for (const auto &[text, expected] : rows)
            QCOMPARE(read(text), QString::fromLatin1(expected));
    }

    void failedChecksAreShownInTheWindow_data()
    {
        QTest::addColumn<Response>("feed");
        QTest::addColumn<QString>("error"); // how the message begins
        const QByteArray http = "http://updates.invalid/appcast.xml";
        QByteArray laughs = "<!ENTITY l0 \"lol\">";
        for (int i = 1; i < 10; ++i)
            laughs += "<!ENTITY l" + QByteArray::number(i) + " \""
                + QByteArray("&l" + QByteArray::number(i - 1) + ";").repeated(10) + "\">";
        const QByteArray bomb = withRelease("1.1", "<description>&l9;</description>")
                                    .replace("?>\n", "?>\n<!DOCTYPE rss [" + laughs + "]>\n");
        QTest::newRow("redirect to plain http elsewhere")
            << Response::redirect(http)
            << L(QStringLiteral("update.error_insecure"), QString::fromLatin1(http));
        QTest::newRow("billion laughs") << Response::ok(bomb) << L("update.error_malformed");
        QTest::newRow("far too large")
            << Response { .body = withRelease("1.1"), .fillerBytes = 64 * FeedCheck::maxFeedSize }
            << L("update.error_too_large");
    }
    void failedChecksAreShownInTheWindow()
    {
        QFETCH(Response, feed);
        QFETCH(QString, error);
        server->setResponse("/appcast.xml", feed);
        auto updater = makeUpdater();
        QSignalSpy finished(updater.get(), &Updater::checkFinished);
        updater->checkForUpdates(); // as the user asks for it: shown in a window that is not modal
        QVERIFY(finished.wait(10000));
        QVERIFY(updater->window()->isVisible() && !updater->window()->isModal());
        QCOMPARE(updater->lastUpdateCheckDate(), clock->now());
        const auto result = finished.first().first().value<FeedCheck::Result>();
        QVERIFY2(result.outcome == Outcome::Failed && result.error.startsWith(error),
                 qPrintable(result.error));
        QCOMPARE(updater->window()->informativeText(), result.error);
        QVERIFY(server->fillerSent("/appcast.xml") < 8 << 20); // the rest was never read
    }

    // One interval after the last check, a last check in the future counting as now and the
    // interval at most a week; with automatic checks off nothing is due until they are turned on.
    // Each answer: the running tickers (then, when off, whether a check is due, and the tickers
    // once turned on) and the seconds until the next check.
    void checkIsDueOneIntervalAfterTheLast()
    {
        const auto dueIn = [this](qint64 lastCheckAgo, qint64 interval, bool automatic) {
            DefaultsStore::setValue(SettingKeys::updaterLastCheck.key(),
                                    clock->now().addSecs(-lastCheckAgo));
            DefaultsStore::setValue(SettingKeys::updaterInterval.key(), interval);
            DefaultsStore::setValue(SettingKeys::updaterAutoCheck.key(), automatic);
            const auto updater = makeUpdater();
            updater->start();
            QList<qint64> due { clock->runningTickers() };
            if (!automatic) {
                due << updater->nextBackgroundCheck().isValid();
                updater->setAutomaticallyChecksForUpdates(true);
                due << clock->runningTickers();
            }
            return due << clock->now().secsTo(updater->nextBackgroundCheck());
        };
        QCOMPARE(dueIn(-86400, 3600, true), (QList<qint64> { 1, 3600 }));
        QCOMPARE(dueIn(10, qint64(1) << 40, true), (QList<qint64> { 1, 7 * 86400 - 10 }));
        QCOMPARE(dueIn(10, 3600, false), (QList<qint64> { 0, 0, 1, 3590 }));
    }

    void downloadIsOfferedOnlyWhenItMatches_data()
    {
        QTest::addColumn<QByteArray>("served");
        QTest::newRow("matching") << release;
        QTest::newRow("other contents") << QByteArray(release).replace(100, 1, "X");
    }

    // A file unlike the feed's digest is deleted; the user's own file is never touched.
    void downloadIsOfferedOnlyWhenItMatches()
    {
        QFETCH(QByteArray, served);
        const QString name = QStringLiteral("Veluna-1.1.AppImage");
        server->setResponse("/" + name.toLatin1(), Response::ok(served));
        const QByteArray sha256 = QCryptographicHash::hash(release, QCryptographicHash::Sha256);
        const QByteArray file = "<enclosure url=\"" + server->url("/" + name).toEncoded()
            + "\" length=\"110000\" veluna:sha256=\"" + sha256.toHex() + "\"/>";
        server->setResponse("/appcast.xml", Response::ok(withRelease("1.1", file)));
        const auto contents
            = [this](const QString &name) { return TestFiles::read(downloads->filePath(name)); };
        QVERIFY(TestFiles::write(downloads->filePath(name), "the user's own file"));
        DefaultsStore::setValue(SettingKeys::updaterAutoDownload.key(), true);
        auto updater = makeUpdater();
        QSignalSpy offered(updater.get(), &Updater::updateOffered);
        QSignalSpy failed(updater.get(), &Updater::downloadFailed);
        updater->start();
        clock->advance(60s);
        QTRY_COMPARE_WITH_TIMEOUT(offered.size() + failed.size(), 1, 5000);
        QCOMPARE(contents(name), QByteArray("the user's own file"));
        const QString copy = QStringLiteral("Veluna-1.1 (1).AppImage");
        const bool matching = served == release;
        const QStringList files = matching ? QStringList { copy, name } : QStringList { name };
        QCOMPARE(QDir(downloads->path()).entryList(QDir::Files | QDir::Hidden), files);
        if (!matching) {
            QVERIFY(offered.isEmpty() && !updater->window());
            return;
        }
        QCOMPARE(offered.first(),
                 (QVariantList { QStringLiteral("1.1"), downloads->filePath(copy) }));
        QCOMPARE(contents(copy), release);
    }
};

QTEST_MAIN(TestUpdater)
#include "tst_updater.moc"
