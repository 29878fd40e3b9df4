// SPDX-License-Identifier: MIT
#include "localisation.h"
#include "updatefeeds.h"
#include "updatewindow.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>

using namespace std::chrono_literals;
using Outcome = FeedCheck::Outcome;

// The check the user asks for: what the window shows for each answer or failure.
class TestUpdateCheck : public UpdaterTest
{
    Q_OBJECT

private slots:
    void answerIsShownInTheWindow_data();
    void answerIsShownInTheWindow();
};

void TestUpdateCheck::answerIsShownInTheWindow_data()
{
    QTest::addColumn<QString>("start"); // a path on the local server, or an address
    QTest::addColumn<LocalHttpServer::Response>("feed");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("error"); // how it begins
    using Response = LocalHttpServer::Response;
    const auto row = [](const char *name, const char *start, const Response &feed, Outcome outcome,
                        const char *error = nullptr, const QString &arg = {}) {
        QTest::newRow(name) << QString::fromLatin1(start) << feed << outcome
                            << (error ? L(QString::fromLatin1(error), arg) : QString());
    };
    const auto release = [](const QByteArray &version, const QByteArray &extra = {}) {
        return Response::ok(UpdateFeeds::withRelease(version, extra));
    };
    const char *path = "/appcast.xml";
    const char *http = "http://updates.invalid/appcast.xml";
    const QByteArray notes = "<description><![CDATA[<p><b>Bold</b> &lt;b&gt;x&lt;/b&gt; <a "
                             "href=\"https://evil.example\">here</a></p>]]></description>";
    row("newer by number, not text", path, release("1.10", notes), Outcome::UpdateAvailable);
    row("same, written longer", path, release("1.0.0"), Outcome::UpToDate);
    row("loopback redirect is followed", "/moved", release("1.2"), Outcome::UpdateAvailable);
    row("redirect to plain http elsewhere", "/hijacked", {}, Outcome::Failed,
        "update.error_insecure", QString::fromLatin1(http));
    row("plain http feed elsewhere", http, {}, Outcome::Failed, "update.error_insecure",
        QString::fromLatin1(http));
    row("file enclosure dropped", path,
        release("1.2", UpdateFeeds::enclosure(QUrl("file:///etc/passwd"), "x")),
        Outcome::UpdateAvailable);
    row("not a feed", path, Response::ok("<html>Down</html>"), Outcome::Failed,
        "update.error_malformed");
    QByteArray laughs = "<!ENTITY l0 \"lol\">";
    for (int i = 1; i < 10; ++i)
        laughs += "<!ENTITY l" + QByteArray::number(i) + " \""
            + QByteArray("&l" + QByteArray::number(i - 1) + ";").repeated(10) + "\">";
    row("billion laughs", path,
        Response::ok(UpdateFeeds::withRelease("1.1", "<description>&l9;</description>")
                         .replace("?>\n", "?>\n<!DOCTYPE rss [" + laughs + "]>\n")),
        Outcome::Failed, "update.error_malformed");
    const QByteArray feed = UpdateFeeds::withRelease("1.1");
    row("far too large", path, { .body = feed, .fillerBytes = 64 * FeedCheck::maxFeedSize },
        Outcome::Failed, "update.error_too_large");
    row("gzip bomb", path, Response::gzipped(feed, 64 * FeedCheck::maxFeedSize), Outcome::Failed,
        "update.error_too_large");
    row("server error", path, { .status = 500 }, Outcome::Failed, "update.error_network");
    row("stalled server", path, { .neverAnswer = true }, Outcome::Failed, "update.error_timeout");
    row("dripping server", path, { .body = feed, .fillerBytes = 100, .dripInterval = 200ms },
        Outcome::Failed, "update.error_timeout");
}

void TestUpdateCheck::answerIsShownInTheWindow()
{
    QFETCH(QString, start);
    QFETCH(LocalHttpServer::Response, feed);
    QFETCH(Outcome, outcome);
    QFETCH(QString, error);
    server->setResponse("/appcast.xml", feed);
    server->setResponse("/moved", LocalHttpServer::Response::redirect("/appcast.xml", 301));
    server->setResponse("/hijacked",
                        LocalHttpServer::Response::redirect("http://updates.invalid/appcast.xml"));
    auto updater = makeUpdater(start);
    QElapsedTimer elapsed;
    elapsed.start();
    QSignalSpy finished(updater.get(), &Updater::checkFinished);
    updater->checkForUpdates();
    QVERIFY(finished.wait(10000));
    const auto result = finished.first().first().value<FeedCheck::Result>();
    QVERIFY2(result.outcome == outcome, qPrintable(result.error));
    QCOMPARE(updater->lastUpdateCheckDate(), clock->now());
    QVERIFY2(server->fillerSent("/appcast.xml") < 8 << 20,
             qPrintable(QString::number(server->fillerSent("/appcast.xml"))));
    UpdateWindow *window = updater->window();
    QVERIFY(window->isVisible() && !window->isModal());
    if (outcome == Outcome::Failed) {
        QVERIFY2(!error.isEmpty() && result.error.startsWith(error), qPrintable(result.error));
        QCOMPARE(window->informativeText(), result.error);
        // A stalled or dripping server is given up at the configured times, not before and not
        // much later; every other failure is known at once.
        const bool slow = error == L(QStringLiteral("update.error_timeout"));
        QVERIFY2(elapsed.elapsed() < (slow ? 5000 : 900) && (!slow || elapsed.elapsed() >= 900),
                 qPrintable(QString::number(elapsed.elapsed())));
    } else if (outcome == Outcome::UpToDate) {
        QCOMPARE(window->titleText(), L(QStringLiteral("update.up_to_date_title")));
    } else {
        // Markup from the feed is never rendered.
        if (feed.body.contains("Bold"))
            QCOMPARE(window->releaseNotesView()->toPlainText(),
                     QStringLiteral("Bold <b>x</b> here"));
        QVERIFY(result.newest.fileUrl.isEmpty());
        for (QLabel *label : window->findChildren<QLabel *>())
            QCOMPARE(label->textFormat(), Qt::PlainText);
        // Return takes the offer, also when the checking state had left the focus on Cancel.
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(opened, QList { QUrl("https://plenox.app/veluna/" + result.newest.version) });
        QVERIFY(!window->isVisible());
    }
}

QTEST_MAIN(TestUpdateCheck)
#include "tst_updatecheck.moc"
