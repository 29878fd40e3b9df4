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
// The texts of the list's entries, top first, and whether each is shown as plain text.
QStringList entries(const QWidget *list, bool *plain = nullptr)
{
    QStringList result;
    for (const QLabel *label : list->findChildren<QLabel *>()) {
        if (label->wordWrap())
            result << label->text();
        if (plain && label->wordWrap())
            *plain = *plain && label->textFormat() == Qt::PlainText;
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
            QCOMPARE(delegate.homeView()->messagesButton()->isVisibleTo(delegate.mainWindow()),
                     open);
            QCOMPARE(delegate.menus().messagesItem()->isVisible(), open);
            QCOMPARE(delegate.homeView()->messagesBadge()->isVisibleTo(delegate.mainWindow()),
                     unread);
            QCOMPARE(shell.badge->count(), unread ? std::optional(1) : std::nullopt);
            const QMenu *tray = delegate.statusController().menu();
            QCOMPARE(itemTitled(tray, L("messages.banner_title")) != nullptr, trayItem);
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
        QCOMPARE(entries(list(), &plain), QStringList({ "third", "second", hostile }));
        QVERIFY(plain);
    }

    void sendingResults_data()
    {
        QTest::addColumn<bool>("reply"); // in the messages window, else a problem report
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("button"); // of the report dialog
        QTest::addColumn<QString>("title"); // of the alert after sending; none may come when empty
        const QString typed = QStringLiteral("\n It still sleeps ");
        const int send = Alert::FirstButton;
        const QString failed = L("common.send_failed_title");
        QTest::newRow("reply delivered") << true << typed << send << QString();
        QTest::newRow("reply refused") << true << typed << send << failed;
        QTest::newRow("blank reply") << true << QStringLiteral("  \t ") << send << QString();
        QTest::newRow("report delivered") << false << typed << send << L("report.sent_title");
        QTest::newRow("report cancelled") << false << typed << send + 1 << QString();
    }

    // Sending trims the text; a reply shows at once and alerts only when it fails.
    void sendingResults()
    {
        QFETCH(bool, reply);
        QFETCH(QString, typed);
        QFETCH(int, button);
        QFETCH(QString, title);
        const bool confirmed = title != L("common.send_failed_title");
        const QByteArray answer = confirmed ? R"({"ok": true})" : R"({"ok": false})";
        server->setResponse("/report", LocalHttpServer::Response::ok(answer, "application/json"));
        AppDelegate &delegate = shell.launch(true);
        const QString email = QStringLiteral(" me@example.org ");
        if (!reply) {
            Alert::setNextAnswer([=](Alert &alert) {
                alert.findChild<QPlainTextEdit *>(QStringLiteral("reportText"))
                    ->setPlainText(typed);
                alert.findChild<QLineEdit *>(QStringLiteral("emailField"))->setText(email);
                return button;
            });
        }
        QString shown;
        if (!title.isEmpty()) {
            Alert::setNextAnswer([&shown](Alert &alert) {
                shown = alert.messageText();
                return int(Alert::FirstButton);
            });
        }
        if (reply) {
            delegate.showMessages();
            delegate.supportUi().messagesWindow()->replyField()->setText(typed);
            delegate.sendReply();
        } else {
            delegate.reportProblemPressed();
        }
        const QLineEdit *field
            = reply ? delegate.supportUi().messagesWindow()->replyField() : nullptr;
        if (typed.trimmed().isEmpty() || button != Alert::FirstButton) {
            QVERIFY(!QTest::qWaitFor([&] { return server->requestCount("/report") > 0; }, 50));
            QVERIFY(!field || field->text() == typed);
            return;
        }
        if (reply) {
            QCOMPARE(entries(list()).first(), QStringLiteral("It still sleeps"));
            QVERIFY(field->text().isEmpty());
        }
        QTRY_COMPARE(server->requestCount("/report"), 1);
        QTRY_COMPARE(shown, title);
        // An unexpected alert would come now and never be answered.
        QVERIFY(!QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }, 50));
        const QJsonObject sent = QJsonDocument::fromJson(server->requests().last().body).object();
        QCOMPARE(sent.value("text").toString(), QStringLiteral("It still sleeps"));
        QCOMPARE(sent.value("email"),
                 reply ? QJsonValue(QJsonValue::Undefined) : QJsonValue(email));
    }

    void longTextsStayBounded_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<QString>("message");
        QString words;
        while (words.size() < 100 * 1024)
            words += QStringLiteral("It still sleeps after an hour. ");
        const QString oneWord(1024 * 1024, u'7');
        QTest::newRow("alert, 100 KB of words") << "alert" << words;
        QTest::newRow("messages window, 1 MB in one word") << "messages" << oneWord;
        QTest::newRow("update window, 10,000-digit version, 1 MB notes") << "update" << oneWord;
    }

    // A text from outside never makes its window leave the screen or grow past a few hundred
    // pixels, is never measured as a label (a megabyte of it froze the window for seconds), and
    // stays readable in a scrolling view.
    void longTextsStayBounded()
    {
        QFETCH(QString, where);
        QFETCH(QString, message);
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        const QString version(10000, u'9');
        const auto check = [&](QWidget *window, int cap) {
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            QVERIFY2(screen.contains(window->frameGeometry()) && window->height() <= cap,
                     qPrintable(QStringLiteral("%1 x %2 at y %3")
                                    .arg(window->width())
                                    .arg(window->height())
                                    .arg(window->y())));
            for (const QLabel *label : window->findChildren<QLabel *>())
                QVERIFY(label->text().size() < 2000);
            const QString reachable = where == "update" ? version : message.left(2000);
            const auto views = window->findChildren<QPlainTextEdit *>();
            QVERIFY(std::any_of(views.begin(), views.end(), [&](const QPlainTextEdit *view) {
                return view->isVisible() && view->toPlainText().contains(reachable)
                    && view->document()->characterCount() < 70000;
            }));
        };
        if (where == "update") {
            Appcast::Item item;
            item.version = version;
            item.releaseNotes = message;
            UpdateWindow window;
            window.showAvailable(item, "1.0");
            check(&window, 560);
            return;
        }
        AppDelegate &delegate = shell.launch(true);
        offer("open", 7, message);
        if (where == "alert") {
            Alert::setNextAnswer([&](Alert &alert) {
                check(&alert, 480);
                return int(Alert::FirstButton);
            });
            delegate.showPendingMessage();
        } else {
            delegate.showMessages();
            check(delegate.supportUi().messagesWindow(), MessagesWindow::windowSize.height());
            QCOMPARE(list()->height(), MessagesWindow::listMinimumHeight);
        }
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
