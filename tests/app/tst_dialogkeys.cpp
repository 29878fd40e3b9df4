// SPDX-License-Identifier: MIT
#include "alert.h"
#include "customdurationdialog.h"
#include "displaymode.h"
#include "localhttpserver.h"
#include "messageswindow.h"
#include "shellfixture.h"
#include "statusitemcontroller.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {
// Focuses the named widget of the window ("initial": where the focus is), presses the key on it
// and counts what came of it: per actor, a button's clicks or the messages window's sends, and
// last, how often Escape dismissed the dialog.
QList<int> press(QWidget *window, const QString &name, int key, const QList<QObject *> &actors)
{
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window))
        return {};
    QWidget *focused
        = name == u"initial" ? window->focusWidget() : window->findChild<QWidget *>(name);
    if (!focused)
        return {};
    focused->setFocus();
    QList<int> counts(actors.size() + 1, 0);
    QObject counting; // the counters end with this call
    for (int i = 0; i < actors.size(); ++i) {
        const auto count = [&counts, i] { ++counts[i]; };
        if (auto *button = qobject_cast<QPushButton *>(actors[i]))
            QObject::connect(button, &QPushButton::clicked, &counting, count);
        else
            QObject::connect(qobject_cast<MessagesWindow *>(actors[i]),
                             &MessagesWindow::sendRequested, &counting, count);
    }
    if (auto *dialog = qobject_cast<QDialog *>(window))
        QObject::connect(dialog, &QDialog::rejected, &counting, [&] { ++counts.last(); });
    QTest::keyClick(focused, Qt::Key(key),
                    key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    // An animated click lands after 100 ms: wait as long, unless a second widget acts first.
    static_cast<void>(QTest::qWaitFor([&] { return counts.size() - counts.count(0) > 1; }, 200));
    return counts;
}
} // namespace

// Return, Enter and Escape act exactly once in each kind of dialog, whichever platform theme runs:
// Qt's GNOME theme lets Return press the focused button, the generic and KDE ones do not.
class TestDialogKeys : public QObject
{
    Q_OBJECT

    LocalHttpServer server;
    ShellFixture shell;

    QList<int> pressInNextAlert(const std::function<void()> &open, const QString &name, int key)
    {
        QList<int> outcome;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *alert = qobject_cast<Alert *>(QApplication::activeModalWidget());
            if (!alert)
                return;
            poll.stop();
            outcome = press(alert, name, key, { alert->buttons().begin(), alert->buttons().end() });
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
        QTest::addColumn<QString>("focus"); // "initial" or a widget's object name
        QTest::addColumn<int>("key");
        // Clicks per button (for the messages window: sends), then Escape's dismissals.
        QTest::addColumn<QList<int>>("counts");
        const auto row = [](const char *dialog, const char *focus, int key, QList<int> counts) {
            QTest::addRow("%s, %s, %s", dialog, focus, qPrintable(QKeySequence(key).toString()))
                << dialog << focus << key << counts;
        };
        row("onboarding", "initial", Qt::Key_Return, { 1, 0, 0 });
        row("onboarding", "initial", Qt::Key_Escape, { 0, 0, 1 });
        row("custom duration", "hoursField", Qt::Key_Return, { 1, 0, 0 });
        row("custom duration", "hoursField", Qt::Key_Enter, { 1, 0, 0 });
        row("report", "reportText", Qt::Key_Return, { 0, 0, 0 });
        row("report", "emailField", Qt::Key_Enter, { 1, 0, 0 });
        row("messages", "replyField", Qt::Key_Return, { 1, 0 });
    }

    void keysActOnce()
    {
        QFETCH(QString, dialog);
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(QList<int>, counts);
        StatusItemController tray;
        SupportUi support(*shell.support, std::make_unique<MemoryLauncherBadge>());
        QList<int> outcome;
        if (dialog == "messages") {
            support.showMessages();
            support.messagesWindow()->replyField()->setText(QStringLiteral("It still sleeps"));
            outcome = press(support.messagesWindow(), focus, key, { support.messagesWindow() });
        } else {
            outcome = pressInNextAlert(
                [&] {
                    if (dialog == "onboarding")
                        DisplayMode(tray, true, [] { return new QMenu; }).showOnboardingIfNeeded();
                    else if (dialog == "report")
                        support.reportProblem();
                    else
                        CustomDurationDialog::run();
                },
                focus, key);
        }
        QCOMPARE(outcome, counts); // empty: the dialog or the focused widget was not found
    }
};

QTEST_MAIN(TestDialogKeys)
#include "tst_dialogkeys.moc"
