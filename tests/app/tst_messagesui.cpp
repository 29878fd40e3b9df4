// SPDX-License-Identifier: MIT
#include "alert.h"
#include "localhttpserver.h"
#include "messageswindow.h"
#include "shellfixture.h"
#include "updatewindow.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTest>

class TestMessagesUi : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        server = std::make_unique<LocalHttpServer>();
        shell.setUp(server->url(QStringLiteral("/sync")), server->url(QStringLiteral("/report")));
        shell.support->setTimeouts(std::chrono::milliseconds(800), std::chrono::milliseconds(800));
    }
    void cleanup() { shell.tearDown(); }

    // An unread message shows on the home view's badge and the launcher's; both clear once the
    // messages window is shown. The server's text is never markup, in the history or in the
    // message's alert.
    void unreadMessagesAreShownAsPlainText()
    {
        const QString hostile
            = QStringLiteral("<img src=x onerror=alert(1)> <a href=\"x\">click</a>");
        const auto plain = [&](const QWidget *window) { // a label shows the text as it is
            const auto labels = window->findChildren<QLabel *>();
            return std::any_of(labels.begin(), labels.end(), [&](const QLabel *label) {
                return label->text() == hostile && label->textFormat() == Qt::PlainText;
            });
        };
        AppDelegate &delegate = shell.launch(true);
        const auto shown = [&] {
            return std::pair(
                delegate.homeView()->messagesBadge()->isVisibleTo(delegate.mainWindow()),
                shell.badge->count());
        };
        offer(2, hostile);
        QCOMPARE(shown(), std::pair(true, std::optional(1)));
        delegate.showMessages();
        QCOMPARE(shown(), std::pair(false, std::optional<int>()));
        QVERIFY(plain(delegate.supportUi().messagesWindow()));
        offer(3, hostile);
        bool inAlert = false;
        Alert::setNextAnswer([&](Alert &alert) {
            inAlert = plain(&alert);
            return int(Alert::FirstButton);
        });
        delegate.showPendingMessage();
        QVERIFY(inAlert);
    }

    // Sending trims the text and sends nothing blank or cancelled. A report that is sent is
    // meet_server's.
    void sendingResults()
    {
        const QString typed = QStringLiteral("\n It still sleeps ");
        AppDelegate &delegate = shell.launch(true);
        delegate.showMessages();
        const auto reply = [&](const QString &text) { // what the field holds afterwards
            delegate.supportUi().messagesWindow()->replyField()->setText(text);
            delegate.sendReply();
            return delegate.supportUi().messagesWindow()->replyField()->text();
        };
        QCOMPARE(reply(QStringLiteral("  \t ")), QStringLiteral("  \t "));
        Alert::setNextAnswer([&](Alert &alert) { // a report typed, then cancelled
            alert.findChild<QPlainTextEdit *>(QStringLiteral("reportText"))->setPlainText("Never");
            return int(Alert::SecondButton);
        });
        delegate.reportProblemPressed();
        QVERIFY(!QTest::qWaitFor([this] { return server->requestCount("/report") > 0; }, 50));
        server->setResponse("/report",
                            LocalHttpServer::Response::ok(R"({"ok": true})", "application/json"));
        QCOMPARE(reply(typed), QString());
        // The one request of all these is the reply, its text trimmed and without an email (a
        // cancelled report sent after all would come first).
        QTRY_COMPARE(server->requestCount("/report"), 1);
        const auto body = QJsonDocument::fromJson(server->requests().last().body).object();
        QCOMPARE((QStringList { body.value("text").toString(), body.value("email").toString("-") }),
                 (QStringList { "It still sleeps", "-" }));
    }

    // A text from outside never makes its window leave the screen or grow past a few hundred
    // pixels, is never measured as a label (a megabyte of it froze the window for seconds), and
    // stays readable in a scrolling view: release notes and a long version, a message alert, the
    // messages window. The update window's labels never read markup.
    void longTextsStayBounded()
    {
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QString words;
        while (words.size() < 100 * 1024)
            words += QStringLiteral("It still sleeps after an hour. ");
        const QString oneWord(1024 * 1024, u'7'), version(10000, u'9');
        const auto check = [&](QWidget *window, int cap, const QString &reachable) {
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            QVERIFY(screen.contains(window->frameGeometry()));
            QCOMPARE_LE(window->height(), cap);
            for (const QLabel *label : window->findChildren<QLabel *>())
                QVERIFY(label->text().size() < 2000);
            const auto views = window->findChildren<QPlainTextEdit *>();
            QVERIFY(std::any_of(views.begin(), views.end(), [&](const QPlainTextEdit *view) {
                return view->isVisible() && view->toPlainText().contains(reachable.left(2000))
                    && view->document()->characterCount() < 70000;
            }));
        };
        Appcast::Item item;
        item.version = version;
        item.releaseNotes = oneWord;
        UpdateWindow update;
        update.showAvailable(item, "1.0");
        check(&update, 560, version);
        for (const QLabel *label : update.findChildren<QLabel *>())
            QCOMPARE(label->textFormat(), Qt::PlainText); // no text of the feed's reads as markup
        AppDelegate &delegate = shell.launch(true);
        offer(7, oneWord);
        delegate.showMessages();
        check(delegate.supportUi().messagesWindow(), MessagesWindow::windowSize.height(), oneWord);
        offer(8, words);
        Alert::setNextAnswer([&](Alert &alert) {
            check(&alert, 480, words);
            return int(Alert::FirstButton);
        });
        delegate.showPendingMessage();
    }

private:
    void offer(qint64 id, const QString &message) // on an open ticket
    {
        shell.support->applySyncResponse(
            QJsonDocument(QJsonObject { { "tk", "open" }, { "mid", id }, { "msg", message } })
                .toJson(QJsonDocument::Compact));
        shell.delegate->refreshMessageBadges();
    }

    std::unique_ptr<LocalHttpServer> server;
    ShellFixture shell;
};

QTEST_MAIN(TestMessagesUi)
#include "tst_messagesui.moc"
