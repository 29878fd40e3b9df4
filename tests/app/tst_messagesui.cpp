// SPDX-License-Identifier: MIT
#include "alert.h"
#include "localhttpserver.h"
#include "localisation.h"
#include "messageswindow.h"
#include "shellfixture.h"
#include "statusitemcontroller.h"
#include "updatewindow.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTest>

namespace {
// The texts of the list's entries, top first, each marked when it is not shown as plain text.
QStringList entries(const QWidget *list)
{
    QStringList result;
    for (const QLabel *label : list->findChildren<QLabel *>()) {
        if (label->wordWrap())
            result << (label->textFormat() == Qt::PlainText ? QString() : QStringLiteral("rich: "))
                    + label->text();
    }
    return result;
}
} // namespace

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

    // The messages button follows the conversation, the badges an unread message, the tray item
    // any waiting one; the history is listed newest first; the server's text is never markup.
    void historyAndMarkers()
    {
        const QString hostile
            = QStringLiteral("<img src=x onerror=alert(1)> <a href=\"x\">click</a>");
        AppDelegate &delegate = shell.launch(true);
        const auto markers = [&](bool open, bool unread, bool trayItem) {
            const QWidget *window = delegate.mainWindow();
            QCOMPARE((QList<bool> {
                         delegate.homeView()->messagesButton()->isVisibleTo(window),
                         delegate.menus().messagesItem()->isVisible(),
                         delegate.homeView()->messagesBadge()->isVisibleTo(window),
                         itemTitled(delegate.statusController().menu(), L("messages.banner_title"))
                             != nullptr }),
                     (QList<bool> { open, open, unread, trayItem }));
            QCOMPARE(shell.badge->count(), unread ? std::optional(1) : std::nullopt);
        };
        delegate.showMessages();
        const QPointer<MessagesWindow> window = delegate.supportUi().messagesWindow();
        QCOMPARE(list()->findChildren<QLabel *>().value(0)->text(), L("messages.empty"));
        offer("none", 1, hostile);
        markers(false, false, true);
        bool plain = true;
        Alert::setNextAnswer([&](Alert &alert) {
            const auto labels = alert.findChildren<QLabel *>();
            plain = std::any_of(labels.begin(), labels.end(), [&](const QLabel *label) {
                return label->text() == hostile && label->textFormat() == Qt::PlainText;
            });
            return int(Alert::FirstButton);
        });
        delegate.showPendingMessage();
        QVERIFY(plain);
        markers(false, false, false);
        shell.support->archiveOwn(QStringLiteral("second"));
        offer("open", 0, QString());
        markers(true, false, false);
        offer("open", 2, QStringLiteral("third"));
        markers(true, true, true);
        delegate.showMessages();
        markers(true, false, false);
        QVERIFY(delegate.supportUi().messagesWindow() == window && window->isVisible());
        QCOMPARE(entries(list()), QStringList({ "third", "second", hostile }));
    }

    // Sending trims the text and sends nothing blank or cancelled; a reply shows at once and
    // alerts only when it is refused; a report says it was sent, with the email as typed.
    void sendingResults()
    {
        const QString typed = QStringLiteral("\n It still sleeps ");
        const QString typedEmail = QStringLiteral(" me@example.org ");
        AppDelegate &delegate = shell.launch(true);
        delegate.showMessages();
        const auto field = [&] { return delegate.supportUi().messagesWindow()->replyField(); };
        int requests = 0;
        QString shown; // the alert after sending; "-": none came
        QJsonValue email;
        // Sends by the action once the server is set to answer ok, checks what reached it.
        const auto send = [&](bool ok, const std::function<void()> &action, bool alert) {
            server->setResponse("/report",
                                LocalHttpServer::Response::ok(
                                    ok ? "{\"ok\": true}" : "{\"ok\": false}", "application/json"));
            shown = QStringLiteral("-");
            if (alert)
                Alert::setNextAnswer([&shown](Alert &alert) {
                    shown = alert.messageText();
                    return int(Alert::FirstButton);
                });
            action();
            ++requests;
            QTRY_COMPARE(server->requestCount("/report"), requests);
            QTRY_VERIFY(!alert || shown != u"-");
            // An unexpected alert would come now and never be answered.
            QVERIFY(!QTest::qWaitFor([] { return QApplication::activeModalWidget(); }, 50));
            const QJsonObject sent
                = QJsonDocument::fromJson(server->requests().last().body).object();
            QCOMPARE(sent.value("text").toString(), QStringLiteral("It still sleeps"));
            email = sent.value("email");
        };
        const auto reply = [&](const QString &text) {
            return [&delegate, field, text] {
                field()->setText(text);
                delegate.sendReply();
            };
        };
        // The report dialog's answer is queued at once, before that of the alert after it.
        const auto report = [&](int button) {
            Alert::setNextAnswer([&typed, &typedEmail, button](Alert &alert) {
                alert.findChild<QPlainTextEdit *>(QStringLiteral("reportText"))
                    ->setPlainText(typed);
                alert.findChild<QLineEdit *>(QStringLiteral("emailField"))->setText(typedEmail);
                return button;
            });
            return [&delegate] { delegate.reportProblemPressed(); };
        };
        const auto nothingSent = [&] {
            return !QTest::qWaitFor([&] { return server->requestCount("/report") > requests; }, 50);
        };
        reply(QStringLiteral("  \t "))();
        QVERIFY(nothingSent() && field()->text() == u"  \t ");
        send(true, reply(typed), false);
        QCOMPARE(std::pair(shown, email),
                 std::pair(QStringLiteral("-"), QJsonValue(QJsonValue::Undefined)));
        QCOMPARE(entries(list()).first(), QStringLiteral("It still sleeps"));
        QVERIFY(field()->text().isEmpty());
        send(false, reply(typed), true);
        QCOMPARE(shown, L("common.send_failed_title"));
        report(Alert::SecondButton)();
        QVERIFY(nothingSent());
        send(true, report(Alert::FirstButton), true);
        QCOMPARE(std::pair(shown, email),
                 std::pair(L("report.sent_title"), QJsonValue(typedEmail)));
    }

    // A text from outside never makes its window leave the screen or grow past a few hundred
    // pixels, is never measured as a label (a megabyte of it froze the window for seconds), and
    // stays readable in a scrolling view: release notes and a long version, a message alert, the
    // messages window.
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
        AppDelegate &delegate = shell.launch(true);
        offer("open", 7, oneWord);
        delegate.showMessages();
        check(delegate.supportUi().messagesWindow(), MessagesWindow::windowSize.height(), oneWord);
        QCOMPARE(list()->height(), MessagesWindow::listMinimumHeight);
        offer("open", 8, words);
        Alert::setNextAnswer([&](Alert &alert) {
            check(&alert, 480, words);
            return int(Alert::FirstButton);
        });
        delegate.showPendingMessage();
    }

private:
    void offer(const char *ticket, qint64 id, const QString &message)
    {
        shell.support->applySyncResponse(
            QJsonDocument(QJsonObject { { "tk", ticket }, { "mid", id }, { "msg", message } })
                .toJson(QJsonDocument::Compact));
        shell.delegate->refreshMessageBadges();
    }
    QWidget *list() const { return shell.delegate->supportUi().messagesWindow()->listView(); }

    std::unique_ptr<LocalHttpServer> server;
    ShellFixture shell;
};

QTEST_MAIN(TestMessagesUi)
#include "tst_messagesui.moc"
