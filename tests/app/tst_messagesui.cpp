#include "alert.h"
#include "defaultsstore.h"
#include "localhttpserver.h"
#include "localisation.h"
#include "messageswindow.h"
#include "shellfixture.h"
#include "statusitemcontroller.h"
#include "symbolbutton.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QTest>

namespace {
QByteArray syncAnswer(const QString &ticket, qint64 id, const char *message)
{
    return QJsonDocument(QJsonObject { { "tk", ticket }, { "mid", id }, { "msg", message } })
        .toJson(QJsonDocument::Compact);
}

// Records the title of the next alert and answers it with the first button.
void expectAlert(QString *title)
{
    Alert::setNextAnswer([title](Alert &alert) {
        *title = alert.messageText();
        return int(Alert::FirstButton);
    });
}

// Fills the problem-report dialog and answers it with the given button.
void answerReport(const QString &report, const QString &email, int response)
{
    Alert::setNextAnswer([=](Alert &alert) {
        alert.findChild<QPlainTextEdit *>(QStringLiteral("reportText"))->setPlainText(report);
        alert.findChild<QLineEdit *>(QStringLiteral("emailField"))->setText(email);
        return response;
    });
}

QStringList wrappedTexts(const QWidget *list)
{
    QStringList result;
    for (const QLabel *label : list->findChildren<QLabel *>()) {
        if (label->wordWrap())
            result << label->text();
    }
    return result;
}
} // namespace

class TestMessagesUi : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init();
    void cleanup();

    void markersFollowOpenAndUnread_data();
    void markersFollowOpenAndUnread();
    void messagesWindowShowsTheHistory();
    void serverTextIsShownAsPlainText();
    void replyIsShownAtOnceAndOnlyAFailureAlerts_data();
    void replyIsShownAtOnceAndOnlyAFailureAlerts();
    void problemReportResults_data();
    void problemReportResults();

private:
    AppDelegate &launch();
    void offer(const QString &ticket, qint64 id, const char *message);
    QWidget *list() const { return shell.delegate->messagesWindow()->listView(); }

    std::unique_ptr<LocalHttpServer> server;
    ShellFixture shell;
};

void TestMessagesUi::init()
{
    server = std::make_unique<LocalHttpServer>();
    shell.setUp(server->url(QStringLiteral("/sync")), server->url(QStringLiteral("/report")));
    shell.support->setTimeouts(std::chrono::milliseconds(800), std::chrono::milliseconds(800));
    ShellFixture::storeOnboarded(true);
}

void TestMessagesUi::cleanup()
{
    shell.tearDown();
    server.reset();
}

AppDelegate &TestMessagesUi::launch()
{
    shell.launch();
    return *shell.delegate;
}

void TestMessagesUi::offer(const QString &ticket, qint64 id, const char *message)
{
    shell.support->applySyncResponse(syncAnswer(ticket, id, message));
    shell.delegate->refreshMessageBadges();
}

void TestMessagesUi::markersFollowOpenAndUnread_data()
{
    QTest::addColumn<QString>("ticket");
    QTest::addColumn<bool>("pending");
    QTest::newRow("closed, nothing pending") << "none" << false;
    QTest::newRow("closed, message pending") << "none" << true;
    QTest::newRow("open, nothing pending") << "open" << false;
    QTest::newRow("open, message pending") << "open" << true;
}

void TestMessagesUi::markersFollowOpenAndUnread()
{
    QFETCH(QString, ticket);
    QFETCH(bool, pending);
    AppDelegate &delegate = launch();
    offer(ticket, pending ? 12 : 0, pending ? "Hello" : "");
    const bool open = ticket == QLatin1String("open");
    const bool unread = open && pending;
    QCOMPARE(delegate.messagesButton()->isVisibleTo(delegate.mainWindow()), open);
    QCOMPARE(delegate.appMessagesItem()->isVisible(), open);
    QCOMPARE(delegate.messagesBadge()->isVisibleTo(delegate.mainWindow()), unread);
    QCOMPARE(delegate.messagesBadge()->pixmap().isNull(), !unread);
    QCOMPARE(shell.badge->count(), unread ? std::optional(1) : std::nullopt);
    // The tray menu offers a waiting message whatever the conversation's state.
    const QAction *item
        = itemTitled(delegate.statusController().menu(), text("messages.banner_title"));
    QCOMPARE(item != nullptr, pending);
    if (item)
        QVERIFY(!item->icon().isNull());
}

// The list starts with only its centred note, shows the newest entry first, keeps a minimum
// height and is up to date at each opening of the one window. Opening it moves the pending
// message into the history and clears the badges.
void TestMessagesUi::messagesWindowShowsTheHistory()
{
    AppDelegate &delegate = launch();
    delegate.showMessages();
    const QPointer<MessagesWindow> window = delegate.messagesWindow();
    const auto labels = list()->findChildren<QLabel *>();
    QCOMPARE(labels.size(), 1);
    QCOMPARE(labels.first()->text(), text("messages.empty"));
    QVERIFY(qAbs(labels.first()->geometry().center().x() - 230) <= 1);
    QCOMPARE(list()->height(), MessagesWindow::listMinimumHeight);
    QCOMPARE(list()->width(), 460);

    offer(QStringLiteral("open"), 1, "first");
    shell.support->markMessageShown();
    shell.support->archiveOwn(QStringLiteral("second"));
    offer(QStringLiteral("open"), 2, "third");
    QCOMPARE(shell.badge->count(), std::optional(1));
    delegate.showMessages();
    QCOMPARE(delegate.messagesWindow(), window.data());
    QVERIFY(window->isVisible());
    QVERIFY(!shell.support->pendingMessage());
    QCOMPARE(shell.support->messageHistory().first().body, QStringLiteral("third"));
    QCOMPARE(shell.badge->count(), std::nullopt);
    QVERIFY(!delegate.messagesBadge()->isVisibleTo(delegate.mainWindow()));
    QCOMPARE(wrappedTexts(list()), QStringList({ "third", "second", "first" }));
    QCOMPARE(list()->height(), MessagesWindow::listMinimumHeight);

    for (int i = 0; i < 12; ++i)
        shell.support->archiveOwn(QStringLiteral("reply %1").arg(i));
    delegate.showMessages();
    QCOMPARE(wrappedTexts(list()).first(), QStringLiteral("reply 11"));
    QVERIFY(list()->height() > MessagesWindow::listMinimumHeight);
}

void TestMessagesUi::serverTextIsShownAsPlainText()
{
    const char *hostile = "<img src=x onerror=alert(1)> <a href=\"https://evil\">click</a>";
    AppDelegate &delegate = launch();
    offer(QStringLiteral("open"), 5, hostile);
    QString alertText;
    Alert::setNextAnswer([&](Alert &alert) {
        alertText = alert.informativeText();
        for (const QLabel *label : alert.findChildren<QLabel *>()) {
            if (label->text() == alertText && label->textFormat() != Qt::PlainText)
                alertText = QStringLiteral("rich");
        }
        return int(Alert::FirstButton);
    });
    delegate.showPendingMessage();
    QCOMPARE(alertText, QString::fromUtf8(hostile));
    delegate.showMessages();
    bool shownLiterally = false;
    for (const QLabel *label : list()->findChildren<QLabel *>()) {
        if (label->text() == QString::fromUtf8(hostile))
            shownLiterally = label->textFormat() == Qt::PlainText;
    }
    QVERIFY(shownLiterally);
}

void TestMessagesUi::replyIsShownAtOnceAndOnlyAFailureAlerts_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("delivered");
    const QString reply = QStringLiteral("  It still sleeps \n");
    QTest::newRow("delivered") << reply << true;
    QTest::newRow("refused") << reply << false;
    QTest::newRow("blank: nothing happens") << QStringLiteral("  \t ") << true;
}

void TestMessagesUi::replyIsShownAtOnceAndOnlyAFailureAlerts()
{
    QFETCH(QString, typed);
    QFETCH(bool, delivered);
    server->setResponse("/report",
                        LocalHttpServer::Response::ok(
                            delivered ? "{\"ok\": true}" : "{\"ok\": false}", "application/json"));
    AppDelegate &delegate = launch();
    delegate.showMessages();
    QLineEdit *field = delegate.messagesWindow()->replyField();
    field->setText(typed);
    QString title;
    if (!delivered)
        expectAlert(&title);
    delegate.sendReply();
    if (typed.trimmed().isEmpty()) {
        QCOMPARE(field->text(), typed);
        QVERIFY(shell.support->messageHistory().isEmpty());
        QTest::qWait(50);
        QCOMPARE(server->requestCount("/report"), 0);
        return;
    }
    QCOMPARE(shell.support->messageHistory().first().body, QStringLiteral("It still sleeps"));
    QVERIFY(shell.support->messageHistory().first().mine);
    QCOMPARE(wrappedTexts(list()).first(), QStringLiteral("It still sleeps"));
    QVERIFY(field->text().isEmpty());
    QTRY_COMPARE(server->requestCount("/report"), 1);
    if (!delivered)
        QTRY_COMPARE(title, text("common.send_failed_title"));
    QTest::qWait(50); // an alert after a delivered reply would come now and fail the cleanup
    const QJsonObject sent = QJsonDocument::fromJson(server->requests().last().body).object();
    QCOMPARE(sent.value("text").toString(), QStringLiteral("It still sleeps"));
    QVERIFY(!sent.contains("email"));
}

void TestMessagesUi::problemReportResults_data()
{
    QTest::addColumn<QString>("report");
    QTest::addColumn<int>("button");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("title"); // of the alert after sending; none: nothing is sent
    const QString typed = QStringLiteral("\n Crash on wake ");
    const QByteArray confirmed = "{\"ok\": true}";
    QTest::newRow("delivered") << typed << int(Alert::FirstButton) << confirmed
                               << text("report.sent_title");
    QTest::newRow("refused") << typed << int(Alert::FirstButton) << QByteArray("{\"ok\": false}")
                             << text("common.send_failed_title");
    QTest::newRow("cancelled") << typed << int(Alert::SecondButton) << confirmed << QString();
    QTest::newRow("blank") << QStringLiteral(" \n\t") << int(Alert::FirstButton) << confirmed
                           << QString();
}

void TestMessagesUi::problemReportResults()
{
    QFETCH(QString, report);
    QFETCH(int, button);
    QFETCH(QByteArray, answer);
    QFETCH(QString, title);
    server->setResponse("/report", LocalHttpServer::Response::ok(answer, "application/json"));
    AppDelegate &delegate = launch();
    answerReport(report, QStringLiteral(" me@example.org "), button);
    QString shown;
    if (!title.isEmpty())
        expectAlert(&shown);
    delegate.reportProblemPressed();
    if (title.isEmpty()) {
        QTest::qWait(50);
        QCOMPARE(server->requestCount("/report"), 0);
        return;
    }
    QTRY_COMPARE(shown, title);
    const QJsonObject sent = QJsonDocument::fromJson(server->requests().last().body).object();
    QCOMPARE(sent.value("text").toString(), QStringLiteral("Crash on wake"));
    QCOMPARE(sent.value("email").toString(), QStringLiteral(" me@example.org "));
}

QTEST_MAIN(TestMessagesUi)
#include "tst_messagesui.moc"
