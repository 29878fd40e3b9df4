// SPDX-License-Identifier: MIT
#include "alert.h"
#include "customdurationdialog.h"
#include "displaymode.h"
#include "localhttpserver.h"
#include "messageswindow.h"
#include "shellfixture.h"
#include "statusitemcontroller.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {
// Clicks per button (for the messages window: sends), how often Escape dismissed the dialog.
struct Outcome
{
    QList<int> clicks;
    int dismissed = 0;
};

QWidget *target(QWidget *window, const QString &name)
{
    if (name == "initial")
        return window->focusWidget();
    if (name.startsWith("button")) {
        const auto *alert = qobject_cast<Alert *>(window);
        return alert ? alert->buttons().value(name.back().digitValue()) : nullptr;
    }
    return window->findChild<QWidget *>(name);
}

// Focuses the named widget of the window, presses the key on it and counts what came of it: per
// actor, a button's clicks or the messages window's sends; Escape's dismissals of a dialog.
Outcome press(QWidget *window, const QString &name, int key, const QList<QObject *> &actors)
{
    window->activateWindow();
    QWidget *focused = QTest::qWaitForWindowActive(window) ? target(window, name) : nullptr;
    if (!focused)
        return {};
    focused->setFocus();
    Outcome outcome { QList<int>(actors.size(), 0) };
    QObject counting; // the counters end with this call
    for (int i = 0; i < actors.size(); ++i) {
        const auto count = [&outcome, i] { ++outcome.clicks[i]; };
        if (auto *button = qobject_cast<QPushButton *>(actors[i]))
            QObject::connect(button, &QPushButton::clicked, &counting, count);
        else
            QObject::connect(qobject_cast<MessagesWindow *>(actors[i]),
                             &MessagesWindow::sendRequested, &counting, count);
    }
    if (auto *dialog = qobject_cast<QDialog *>(window))
        QObject::connect(dialog, &QDialog::rejected, &counting, [&] { ++outcome.dismissed; });
    QTest::keyClick(focused, Qt::Key(key),
                    key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    // An animated click lands after 100 ms: wait as long, unless a second widget acts first.
    static_cast<void>(QTest::qWaitFor(
        [&] { return outcome.dismissed + outcome.clicks.size() - outcome.clicks.count(0) > 1; },
        200));
    return outcome;
}
} // namespace

// Return, Enter, Escape and Space act exactly once in every dialog, whichever platform theme
// runs: Qt's GNOME theme lets Return press the focused button, the generic and KDE ones do not.
class TestDialogKeys : public QObject
{
    Q_OBJECT

    LocalHttpServer server;
    ShellFixture shell;

    Outcome pressInNextAlert(const std::function<void()> &open, const QString &name, int key)
    {
        Outcome outcome;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *alert = qobject_cast<Alert *>(QApplication::activeModalWidget());
            if (!alert)
                return;
            poll.stop();
            QList<QObject *> buttons(alert->buttons().begin(), alert->buttons().end());
            outcome = press(alert, name, key, buttons);
            if (alert->isVisible())
                alert->reject(); // the key left it open: close it, as the user would
        });
        poll.start(10);
        open();
        return outcome;
    }

private slots:
    void init()
    {
        // Replies are delivered, so no result alert comes.
        server.setResponse("/report", LocalHttpServer::Response::ok(R"({"ok": true})"));
        shell.setUp(server.url(QStringLiteral("/sync")), server.url(QStringLiteral("/report")));
    }
    void cleanup() { shell.tearDown(); }

    // The run must really have the theme it was started for, or it would prove nothing.
    void initTestCase()
    {
        QWidget window;
        auto *button = new QPushButton(QStringLiteral("Plain"), &window);
        window.show();
        QSignalSpy clicked(button, &QPushButton::clicked);
        QTest::keyClick(button, Qt::Key_Return);
        QCOMPARE(clicked.count(), qgetenv("QT_QPA_PLATFORMTHEME") == "gnome" ? 1 : 0);
    }

    void keysActOnce_data()
    {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QString>("focus"); // "initial", "buttonN" or a widget's object name
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("acting"); // the button (or send) that acts once; -1 none
        QTest::addColumn<bool>("dismissed"); // Escape closed the dialog, once
        const struct
        {
            const char *dialog, *focus;
            int key, acting;
            bool dismissed;
        } rows[] = {
            { "onboarding", "initial", Qt::Key_Return, 0, false },
            { "onboarding", "button1", Qt::Key_Return, 1, false },
            { "onboarding", "initial", Qt::Key_Escape, -1, true },
            { "long message", "initial", Qt::Key_Return, 0, false },
            { "long message", "initial", Qt::Key_Space, 0, false },
            { "custom duration", "hoursField", Qt::Key_Return, 0, false },
            { "custom duration", "hoursField", Qt::Key_Enter, 0, false },
            { "custom duration", "hoursField", Qt::Key_Escape, -1, true },
            { "report", "reportText", Qt::Key_Return, -1, false },
            { "report", "emailField", Qt::Key_Enter, 0, false },
            { "report", "button1", Qt::Key_Space, 1, false },
            { "report", "reportText", Qt::Key_Escape, -1, true },
            { "messages", "replyField", Qt::Key_Return, 0, false },
            { "messages", "replyField", Qt::Key_Space, -1, false },
            { "messages", "sendButton", Qt::Key_Space, 0, false },
            { "messages", "sendButton", Qt::Key_Escape, -1, false },
        };
        for (const auto &row : rows) {
            QTest::addRow("%s, %s, %s", row.dialog, row.focus,
                          qPrintable(QKeySequence(row.key).toString()))
                << row.dialog << row.focus << row.key << row.acting << row.dismissed;
        }
    }

    void keysActOnce()
    {
        QFETCH(QString, dialog);
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(int, acting);
        QFETCH(bool, dismissed);
        StatusItemController tray;
        SupportUi support(*shell.support, std::make_unique<MemoryLauncherBadge>());
        Outcome outcome;
        if (dialog == "messages") {
            support.showMessages();
            support.messagesWindow()->replyField()->setText(QStringLiteral("It still sleeps"));
            outcome = press(support.messagesWindow(), focus, key, { support.messagesWindow() });
        } else {
            if (dialog == "long message")
                shell.support->applySyncResponse(
                    QJsonDocument(QJsonObject { { "tk", "open" },
                                                { "mid", 3 },
                                                { "msg", QString(20000, u'z') } })
                        .toJson());
            outcome = pressInNextAlert(
                [&] {
                    if (dialog == "onboarding")
                        DisplayMode(tray, true, [] { return new QMenu; }).showOnboardingIfNeeded();
                    else if (dialog == "report")
                        support.reportProblem();
                    else if (dialog == "custom duration")
                        CustomDurationDialog::run();
                    else
                        support.showPendingMessage();
                },
                focus, key);
        }
        QVERIFY2(!outcome.clicks.isEmpty(), "the dialog or the focused widget was not found");
        for (int i = 0; i < outcome.clicks.size(); ++i)
            QCOMPARE(outcome.clicks.at(i), i == acting ? 1 : 0);
        QCOMPARE(outcome.dismissed, dismissed ? 1 : 0);
    }
};

QTEST_MAIN(TestDialogKeys)
#include "tst_dialogkeys.moc"
