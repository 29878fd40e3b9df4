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
        const QString email = QStringLiteral(" me@example.org ");
        AppDelegate &delegate = shell.launch(true);
        delegate.showMessages();
        const auto reply = [&](const QString &text) { // what the field holds afterwards
            delegate.supportUi().messagesWindow()->replyField()->setText(text);
            delegate.sendReply();
            return delegate.supportUi().messagesWindow()->replyField()->text();
        };
        const auto report = [&](int button) {
            Alert::setNextAnswer([&, button](Alert &alert) {
                alert.findChild<QPlainTextEdit *>(QStringLiteral("reportText"))
                    ->setPlainText(typed);
                alert.findChild<QLineEdit *>(QStringLiteral("emailField"))->setText(email);
                return button;
            });
        };
        QString shown; // the alert after sending
        const auto answer = [&](bool ok, bool alert) {
            server->setResponse("/report",
                                LocalHttpServer::Response::ok(
                                    ok ? "{\"ok\": true}" : "{\"ok\": false}", "application/json"));
            if (alert)
                Alert::setNextAnswer([&shown](Alert &alert) {
                    shown = alert.messageText();
                    return int(Alert::FirstButton);
                });
        };
        // The reports so far, once there are at least count, and the last one's text and email.
        const auto sent = [this](int count) {
            static_cast<void>(
                QTest::qWaitFor([&] { return server->requestCount("/report") >= count; }, 5000));
            const auto body = QJsonDocument::fromJson(server->requests().last().body).object();
            return QStringList { QString::number(server->requestCount("/report")),
                                 body.value("text").toString(), body.value("email").toString("-") };
        };
        QCOMPARE(reply(QStringLiteral("  \t ")), QStringLiteral("  \t "));
        answer(true, false);
        QCOMPARE(reply(typed), QString());
        QCOMPARE(entries(list()).first(), QStringLiteral("It still sleeps"));
        QCOMPARE(sent(1), (QStringList { "1", "It still sleeps", "-" }));
        // An unexpected alert would come now and never be answered.
        QVERIFY(!QTest::qWaitFor([] { return QApplication::activeModalWidget(); }, 50));
        answer(false, true);
        reply(typed);
        QTRY_COMPARE(shown, L("common.send_failed_title"));
        report(Alert::SecondButton);
        delegate.reportProblemPressed();
        QVERIFY(!QTest::qWaitFor([this] { return server->requestCount("/report") > 2; }, 50));
        report(Alert::FirstButton);
        answer(true, true);
        delegate.reportProblemPressed();
        QTRY_COMPARE(shown, L("report.sent_title"));
        QCOMPARE(sent(3), (QStringList { "3", "It still sleeps", email }));
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
