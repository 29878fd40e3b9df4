#include "alert.h"
#include "appdelegate.h"
#include "awakeengine.h"
#include "defaultsstore.h"
#include "localhttpserver.h"
#include "localisation.h"
#include "manualclock.h"
#include "memorylauncherbadge.h"
#include "memoryloginitem.h"
#include "memorypowerassertions.h"
#include "messageswindow.h"
#include "statusitemcontroller.h"
#include "supportchannel.h"
#include "symbolbutton.h"
#include "updater.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QTest>

namespace {
QString text(const char *key)
{
    return L(QString::fromLatin1(key));
}

QByteArray syncAnswer(const char *ticket, qint64 id, const char *message)
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
    void openingTheWindowMovesThePendingMessageIntoTheHistory();
    void emptyHistoryShowsOnlyTheCentredNote();
    void shortHistoryKeepsTheMinimumHeightAndNewestFirst();
    void serverTextIsShownAsPlainText();
    void blankReplyDoesNothing();
    void replyIsShownAtOnceThenFailureIsReported();
    void deliveredReplyShowsNoAlert();
    void problemReportResults_data();
    void problemReportResults();
    void cancelledOrBlankReportSendsNothing();

private:
    void launch();
    void offer(const char *ticket, qint64 id, const char *message);
    QWidget *listOf() const { return delegate->messagesWindow()->listView(); }

    std::unique_ptr<LocalHttpServer> server;
    std::unique_ptr<ManualClock> clock;
    std::unique_ptr<AwakeEngine> engine;
    std::unique_ptr<SupportChannel> support;
    std::unique_ptr<AppDelegate> delegate;
    MemoryLauncherBadge *badge = nullptr;
};

void TestMessagesUi::init()
{
    DefaultsStore::clear();
    DefaultsStore::setValue(QStringLiteral("VLOnboarded"), true);
    DefaultsStore::setValue(QStringLiteral("VLMenuBarMode"), true);
    Alert::clearPendingAnswers();
    server = std::make_unique<LocalHttpServer>();
    clock = std::make_unique<ManualClock>();
    engine = std::make_unique<AwakeEngine>(std::make_unique<MemoryPowerAssertions>(), *clock);
    const QUrl reportUrl = server->url(QStringLiteral("/report"));
    support = std::make_unique<SupportChannel>(server->url(QStringLiteral("/sync")),
                                               [reportUrl] { return reportUrl; });
    support->setTimeouts(std::chrono::milliseconds(800), std::chrono::milliseconds(800));
}

void TestMessagesUi::cleanup()
{
    delegate.reset();
    support.reset();
    engine.reset();
    server.reset();
    QVERIFY2(!Alert::hasPendingAnswers(), "an expected alert never came");
}

void TestMessagesUi::launch()
{
    auto memoryBadge = std::make_unique<MemoryLauncherBadge>();
    badge = memoryBadge.get();
    Updater::Config quiet;
    quiet.feedUrl = QUrl(QStringLiteral("http://127.0.0.1:9/appcast.xml"));
    quiet.clock = clock.get();
    AppDelegate::Options options;
    options.installCrashReporter = false;
    options.launcherBadge = std::move(memoryBadge);
    options.updater = std::make_unique<Updater>(quiet);
    options.loginItem = std::make_unique<MemoryLoginItem>();
    delegate = std::make_unique<AppDelegate>(*engine, *support, std::move(options));
    delegate->applicationDidFinishLaunching();
}

void TestMessagesUi::offer(const char *ticket, qint64 id, const char *message)
{
    support->applySyncResponse(syncAnswer(ticket, id, message));
    delegate->refreshMessageBadges();
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
    launch();
    offer(qPrintable(ticket), pending ? 12 : 0, pending ? "Hello" : "");
    const bool open = ticket == QLatin1String("open");
    const bool unread = open && pending;
    QCOMPARE(delegate->messagesButton()->isVisibleTo(delegate->mainWindow()), open);
    QCOMPARE(delegate->appMessagesItem()->isVisible(), open);
    QCOMPARE(delegate->messagesBadge()->isVisibleTo(delegate->mainWindow()), unread);
    QCOMPARE(delegate->messagesBadge()->pixmap().isNull(), !unread);
    QCOMPARE(badge->count(), unread ? std::optional(1) : std::nullopt);
    bool menuOffersMessages = false;
    for (const QAction *item : delegate->statusController().menu()->actions())
        menuOffersMessages
            |= item->text() == text("messages.banner_title") && !item->icon().isNull();
    QCOMPARE(menuOffersMessages, pending);
}

void TestMessagesUi::openingTheWindowMovesThePendingMessageIntoTheHistory()
{
    launch();
    offer("open", 12, "Your fix is ready");
    delegate->showMessages();
    QVERIFY(!support->pendingMessage());
    QCOMPARE(support->messageHistory().first().body, QStringLiteral("Your fix is ready"));
    QCOMPARE(badge->count(), std::nullopt);
    QVERIFY(!delegate->messagesBadge()->isVisibleTo(delegate->mainWindow()));
    QPointer<MessagesWindow> window = delegate->messagesWindow();
    delegate->showMessages();
    QCOMPARE(delegate->messagesWindow(), window.data());
    QVERIFY(window->isVisible());
}

void TestMessagesUi::emptyHistoryShowsOnlyTheCentredNote()
{
    launch();
    delegate->showMessages();
    const auto labels = listOf()->findChildren<QLabel *>();
    QCOMPARE(labels.size(), 1);
    QCOMPARE(labels.first()->text(), text("messages.empty"));
    QVERIFY(qAbs(labels.first()->geometry().center().x() - 230) <= 1);
    QCOMPARE(listOf()->height(), MessagesWindow::listMinimumHeight);
    QCOMPARE(listOf()->width(), 460);
}

void TestMessagesUi::shortHistoryKeepsTheMinimumHeightAndNewestFirst()
{
    launch();
    offer("open", 1, "first");
    support->markMessageShown();
    support->archiveOwn(QStringLiteral("second"));
    offer("open", 2, "third");
    support->markMessageShown();
    delegate->showMessages();
    QCOMPARE(listOf()->height(), MessagesWindow::listMinimumHeight);
    QStringList bodies;
    for (const QLabel *label : listOf()->findChildren<QLabel *>()) {
        if (label->wordWrap())
            bodies << label->text();
    }
    QCOMPARE(bodies, QStringList({ "third", "second", "first" }));

    for (int i = 0; i < 12; ++i)
        support->archiveOwn(QStringLiteral("reply %1").arg(i));
    delegate->showMessages();
    QVERIFY(listOf()->height() > MessagesWindow::listMinimumHeight);
}

void TestMessagesUi::serverTextIsShownAsPlainText()
{
    launch();
    offer("open", 5, "<img src=x onerror=alert(1)> <a href=\"https://evil\">click</a>");
    QString alertText;
    Alert::setNextAnswer([&](Alert &alert) {
        alertText = alert.informativeText();
        const auto labels = alert.findChildren<QLabel *>();
        for (const QLabel *label : labels) {
            if (label->text() == alertText && label->textFormat() != Qt::PlainText)
                alertText = QStringLiteral("rich");
        }
        return int(Alert::FirstButton);
    });
    delegate->showPendingMessage();
    QCOMPARE(alertText,
             QStringLiteral("<img src=x onerror=alert(1)> <a href=\"https://evil\">click</a>"));
    delegate->showMessages();
    bool shownLiterally = false;
    for (const QLabel *label : listOf()->findChildren<QLabel *>()) {
        if (label->text().startsWith(QLatin1String("<img")))
            shownLiterally = label->textFormat() == Qt::PlainText;
    }
    QVERIFY(shownLiterally);
}

void TestMessagesUi::blankReplyDoesNothing()
{
    launch();
    delegate->showMessages();
    QLineEdit *field = delegate->messagesWindow()->replyField();
    field->setText(QStringLiteral("  \t "));
    delegate->sendReply();
    QCOMPARE(field->text(), QStringLiteral("  \t "));
    QVERIFY(support->messageHistory().isEmpty());
    QCOMPARE(server->requestCount("/report"), 0);
}

void TestMessagesUi::replyIsShownAtOnceThenFailureIsReported()
{
    server->setResponse("/report",
                        LocalHttpServer::Response::ok("{\"ok\": false}", "application/json"));
    launch();
    delegate->showMessages();
    delegate->messagesWindow()->replyField()->setText(QStringLiteral("  It still sleeps \n"));
    QString title;
    expectAlert(&title);
    delegate->sendReply();
    QCOMPARE(support->messageHistory().first().body, QStringLiteral("It still sleeps"));
    QVERIFY(support->messageHistory().first().mine);
    QVERIFY(delegate->messagesWindow()->replyField()->text().isEmpty());
    QTRY_COMPARE(title, text("common.send_failed_title"));
    const QJsonObject sent = QJsonDocument::fromJson(server->requests().last().body).object();
    QCOMPARE(sent.value("text").toString(), QStringLiteral("It still sleeps"));
    QVERIFY(!sent.contains("email"));
}

void TestMessagesUi::deliveredReplyShowsNoAlert()
{
    server->setResponse("/report",
                        LocalHttpServer::Response::ok("{\"ok\": true}", "application/json"));
    launch();
    delegate->showMessages();
    delegate->messagesWindow()->replyField()->setText(QStringLiteral("Thanks"));
    delegate->sendReply();
    QTRY_COMPARE(server->requestCount("/report"), 1);
    QTest::qWait(50);
    QVERIFY(!Alert::hasPendingAnswers());
}

void TestMessagesUi::problemReportResults_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("title");
    QTest::newRow("delivered") << 200 << QByteArray("{\"ok\": true}") << text("report.sent_title");
    QTest::newRow("refused") << 200 << QByteArray("{\"ok\": false}")
                             << text("common.send_failed_title");
    QTest::newRow("ok as text") << 200 << QByteArray("{\"ok\": \"yes\"}")
                                << text("common.send_failed_title");
    QTest::newRow("empty body") << 200 << QByteArray() << text("common.send_failed_title");
    QTest::newRow("server error") << 500 << QByteArray("{\"ok\": true}")
                                  << text("common.send_failed_title");
}

void TestMessagesUi::problemReportResults()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, title);
    LocalHttpServer::Response response = LocalHttpServer::Response::ok(body, "application/json");
    response.status = status;
    server->setResponse("/report", response);
    launch();
    Alert::setNextAnswer([](Alert &alert) {
        alert.findChild<QPlainTextEdit *>(QStringLiteral("reportText"))
            ->setPlainText(QStringLiteral("\n Crash on wake "));
        alert.findChild<QLineEdit *>(QStringLiteral("emailField"))
            ->setText(QStringLiteral(" me@example.org "));
        return int(Alert::FirstButton);
    });
    QString shown;
    expectAlert(&shown);
    delegate->reportProblemPressed();
    QTRY_COMPARE(shown, title);
    const QJsonObject sent = QJsonDocument::fromJson(server->requests().last().body).object();
    QCOMPARE(sent.value("text").toString(), QStringLiteral("Crash on wake"));
    QCOMPARE(sent.value("email").toString(), QStringLiteral(" me@example.org "));
}

void TestMessagesUi::cancelledOrBlankReportSendsNothing()
{
    launch();
    Alert::setNextAnswer([](Alert &alert) {
        alert.findChild<QPlainTextEdit *>(QStringLiteral("reportText"))
            ->setPlainText(QStringLiteral("typed"));
        return int(Alert::SecondButton);
    });
    delegate->reportProblemPressed();
    Alert::setNextAnswer([](Alert &alert) {
        alert.findChild<QPlainTextEdit *>(QStringLiteral("reportText"))
            ->setPlainText(QStringLiteral(" \n\t"));
        return int(Alert::FirstButton);
    });
    delegate->reportProblemPressed();
    QTest::qWait(50);
    QCOMPARE(server->requestCount("/report"), 0);
    QVERIFY(!Alert::hasPendingAnswers());
}

QTEST_MAIN(TestMessagesUi)
#include "tst_messagesui.moc"
