#include "defaultsstore.h"
#include "localhttpserver.h"
#include "localisation.h"
#include "manualclock.h"
#include "updatefeeds.h"
#include "updater.h"
#include "updatewindow.h"

#include <QDesktopServices>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTextBlock>

using namespace std::chrono_literals;
using Outcome = FeedCheck::Outcome;
Q_DECLARE_METATYPE(FeedCheck::Outcome)

// The check the user asks for, against a local server: what the window shows for each answer
// of the feed and for each way the exchange can fail.
class TestUpdateCheck : public QObject
{
    Q_OBJECT

public slots:
    void openUrl(const QUrl &url) { opened << url; }

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void answerDependsOnTheNewestVersion_data();
    void answerDependsOnTheNewestVersion();
    void releaseNotesAreNeverRichText();
    void failuresAreShownInTheWindow_data();
    void failuresAreShownInTheWindow();
    void plainHttpIsRefusedAtEveryHopButLoopback_data();
    void plainHttpIsRefusedAtEveryHopButLoopback();
    void cancelStopsTheCheck();

private:
    std::unique_ptr<Updater> makeUpdater(const QUrl &feed);
    std::unique_ptr<Updater> makeUpdater() { return makeUpdater(feedUrl()); }
    QUrl feedUrl() const { return server->url(QStringLiteral("/appcast.xml")); }
    void serve(const QByteArray &feed)
    {
        server->setResponse("/appcast.xml", LocalHttpServer::Response::ok(feed));
    }
    FeedCheck::Result check(Updater &updater);

    std::unique_ptr<LocalHttpServer> server;
    ManualClock clock;
    QList<QUrl> opened;
};

void TestUpdateCheck::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    qRegisterMetaType<FeedCheck::Result>();
}

void TestUpdateCheck::init()
{
    DefaultsStore::clear();
    server = std::make_unique<LocalHttpServer>();
    QVERIFY(server->isListening());
    opened.clear();
    QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl");
}

void TestUpdateCheck::cleanup()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    server.reset();
}

std::unique_ptr<Updater> TestUpdateCheck::makeUpdater(const QUrl &feed)
{
    return std::make_unique<Updater>(Updater::Config { .feedUrl = feed,
                                                       .currentVersion = QStringLiteral("1.0"),
                                                       .clock = &clock,
                                                       .stallTimeout = 1s });
}

// Runs a check the user asked for and answers its result.
FeedCheck::Result TestUpdateCheck::check(Updater &updater)
{
    QSignalSpy finished(&updater, &Updater::checkFinished);
    updater.checkForUpdates();
    if (!finished.wait(10000))
        return { Outcome::Failed, {}, QStringLiteral("no answer at all") };
    return finished.first().first().value<FeedCheck::Result>();
}

void TestUpdateCheck::answerDependsOnTheNewestVersion_data()
{
    QTest::addColumn<QByteArray>("published");
    QTest::addColumn<Outcome>("outcome");
    QTest::newRow("newer") << QByteArray("1.0.1") << Outcome::UpdateAvailable;
    QTest::newRow("newer by number, not text") << QByteArray("1.10") << Outcome::UpdateAvailable;
    QTest::newRow("same") << QByteArray("1.0") << Outcome::UpToDate;
    QTest::newRow("same, written longer") << QByteArray("1.0.0") << Outcome::UpToDate;
    QTest::newRow("older") << QByteArray("0.9.5") << Outcome::UpToDate;
    QTest::newRow("pre-release of this one") << QByteArray("1.0-rc2") << Outcome::UpToDate;
}

void TestUpdateCheck::answerDependsOnTheNewestVersion()
{
    QFETCH(QByteArray, published);
    QFETCH(Outcome, outcome);
    serve(UpdateFeeds::withRelease(published));
    auto updater = makeUpdater();
    QVERIFY(!updater->window());
    const FeedCheck::Result result = check(*updater);
    QVERIFY2(result.outcome == outcome, qPrintable(result.error));
    QCOMPARE(server->requestCount("/appcast.xml"), 1);
    QCOMPARE(updater->lastUpdateCheckDate(), clock.now());

    UpdateWindow *window = updater->window();
    QVERIFY(window && window->isVisible());
    QVERIFY(!window->isModal());
    if (outcome == Outcome::UpToDate) {
        QCOMPARE(window->titleText(), L(QStringLiteral("update.up_to_date_title")));
        QCOMPARE(window->informativeText(),
                 L(QStringLiteral("update.up_to_date_message"), QStringLiteral("1.0")));
        QVERIFY(window->secondaryButton()->isHidden());
        return;
    }
    QCOMPARE(window->titleText(), L(QStringLiteral("update.available_title")));
    QCOMPARE(window->informativeText(),
             L(QStringLiteral("update.available_message"), QString::fromLatin1(published),
               QStringLiteral("1.0")));
    QCOMPARE(window->primaryButton()->text(), L(QStringLiteral("update.open_download_page")));
    QTest::mouseClick(window->primaryButton(), Qt::LeftButton);
    QCOMPARE(opened, QList<QUrl> { QUrl("https://plenox.app/veluna/" + published) });
    QVERIFY(!window->isVisible());
}

void TestUpdateCheck::releaseNotesAreNeverRichText()
{
    serve(UpdateFeeds::withRelease(
        "1.1",
        "<description><![CDATA[<p><b>Bold</b> claims: &lt;b&gt;x&lt;/b&gt; "
        "<a href=\"https://evil.example\">here</a><img src=\"https://tracker.example/p.png\"></p>"
        "]]></description>"));
    auto updater = makeUpdater();
    QCOMPARE(check(*updater).outcome, Outcome::UpdateAvailable);

    QPlainTextEdit *view = updater->window()->releaseNotesView();
    QVERIFY(view->isVisible());
    QVERIFY(view->isReadOnly());
    QCOMPARE(view->toPlainText(), QStringLiteral("Bold claims: <b>x</b> here"));
    // Nothing was rendered: no bold run, no link, no image in the view's document.
    for (QTextBlock block = view->document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            QCOMPARE(it.fragment().charFormat().fontWeight(), int(QFont::Normal));
            QVERIFY(!it.fragment().charFormat().isAnchor());
            QVERIFY(!it.fragment().charFormat().isImageFormat());
        }
    }
    for (QLabel *label : updater->window()->findChildren<QLabel *>())
        QCOMPARE(label->textFormat(), Qt::PlainText);
}

void TestUpdateCheck::failuresAreShownInTheWindow_data()
{
    QTest::addColumn<LocalHttpServer::Response>("response");
    QTest::addColumn<QString>("message");
    const QString malformed = L(QStringLiteral("update.error_malformed"));
    QTest::newRow("not a feed") << LocalHttpServer::Response::ok("<html><body>Down</body></html>",
                                                                 "text/html")
                                << malformed;
    QTest::newRow("truncated feed")
        << LocalHttpServer::Response::ok(UpdateFeeds::withRelease("1.1").left(120)) << malformed;
    QTest::newRow("far too large")
        << LocalHttpServer::Response { .body = UpdateFeeds::withRelease("1.1"),
                                       .fillerBytes = 64 * FeedCheck::maxFeedSize }
        << L(QStringLiteral("update.error_too_large"));
    QTest::newRow("server error") << LocalHttpServer::Response { .status = 500, .body = "oops" }
                                  << L(QStringLiteral("update.error_network"), QString());
    QTest::newRow("stalled server") << LocalHttpServer::Response { .neverAnswer = true }
                                    << L(QStringLiteral("update.error_timeout"));
}

void TestUpdateCheck::failuresAreShownInTheWindow()
{
    QFETCH(LocalHttpServer::Response, response);
    QFETCH(QString, message);
    server->setResponse("/appcast.xml", response);
    auto updater = makeUpdater();
    QElapsedTimer elapsed;
    elapsed.start();
    const FeedCheck::Result result = check(*updater);
    QCOMPARE(result.outcome, Outcome::Failed);
    QVERIFY2(result.error.startsWith(message), qPrintable(result.error));
    QCOMPARE(updater->window()->titleText(), L(QStringLiteral("update.error_title")));
    QCOMPARE(updater->window()->informativeText(), result.error);
    QVERIFY(updater->window()->isVisible());
    QCOMPARE(server->requestCount("/appcast.xml"), 1);
    // A stalled server is given up at the configured time, not before and not much later.
    if (response.neverAnswer)
        QVERIFY2(elapsed.elapsed() >= 900 && elapsed.elapsed() < 5000,
                 qPrintable(QString::number(elapsed.elapsed())));
}

void TestUpdateCheck::plainHttpIsRefusedAtEveryHopButLoopback_data()
{
    QTest::addColumn<QString>("start"); // a path on the local server, or an address
    QTest::addColumn<int>("requestsSeen");
    QTest::addColumn<bool>("refused");
    QTest::newRow("loopback redirect is followed") << "/moved" << 2 << false;
    QTest::newRow("redirect to plain http elsewhere") << "/hijacked" << 1 << true;
    QTest::newRow("plain http feed elsewhere") << "http://updates.invalid/appcast.xml" << 0 << true;
}

void TestUpdateCheck::plainHttpIsRefusedAtEveryHopButLoopback()
{
    QFETCH(QString, start);
    QFETCH(int, requestsSeen);
    QFETCH(bool, refused);
    serve(UpdateFeeds::withRelease("1.2"));
    server->setResponse("/moved", LocalHttpServer::Response::redirect("/appcast.xml", 301));
    server->setResponse("/hijacked",
                        LocalHttpServer::Response::redirect("http://updates.invalid/appcast.xml"));
    auto updater = makeUpdater(start.startsWith(u'/') ? server->url(start) : QUrl(start));
    const FeedCheck::Result result = check(*updater);
    QCOMPARE(result.outcome, refused ? Outcome::Failed : Outcome::UpdateAvailable);
    if (refused)
        QCOMPARE(result.error,
                 L(QStringLiteral("update.error_insecure"),
                   QStringLiteral("http://updates.invalid/appcast.xml")));
    QCOMPARE(server->requests().size(), requestsSeen);
}

void TestUpdateCheck::cancelStopsTheCheck()
{
    server->setResponse("/appcast.xml", { .neverAnswer = true });
    auto updater = makeUpdater();
    QSignalSpy finished(updater.get(), &Updater::checkFinished);
    updater->checkForUpdates();
    UpdateWindow *window = updater->window();
    QVERIFY(window->isChecking());
    QCOMPARE(window->titleText(), L(QStringLiteral("update.checking")));
    QTRY_COMPARE(server->requestCount("/appcast.xml"), 1);

    QTest::mouseClick(window->secondaryButton(), Qt::LeftButton);
    QVERIFY(!window->isVisible());
    QVERIFY(!updater->isChecking());
    // Past the stall timeout: a check still running would have answered by now.
    QTest::qWait(1300);
    QCOMPARE(finished.size(), 0);
}

QTEST_MAIN(TestUpdateCheck)
#include "tst_updatecheck.moc"
