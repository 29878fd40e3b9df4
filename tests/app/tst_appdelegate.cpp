#include "alert.h"
#include "awakesettings.h"
#include "defaultsstore.h"
#include "localisation.h"
#include "shellfixture.h"
#include "statusitemcontroller.h"

#include <QApplication>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

using namespace std::chrono_literals;

namespace {
// The texts behind the keys, "---" standing for a separator as in titles().
QStringList texts(std::initializer_list<const char *> keys)
{
    QStringList result;
    for (const char *key : keys)
        result << (qstrcmp(key, "---") == 0 ? QStringLiteral("---") : text(key));
    return result;
}

bool storedMenuBarMode()
{
    return DefaultsStore::boolean(QStringLiteral("VLMenuBarMode")).value_or(false);
}
} // namespace

class TestAppDelegate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() { shell.setUp(); }
    void cleanup();

    void launchSettlesTheDisplayMode_data();
    void launchSettlesTheDisplayMode();
    void engineChangesRedrawEverything();
    void bigButtonUsesTheDefaultDuration();
    void statusMenuFollowsTheState_data();
    void statusMenuFollowsTheState();
    void closeOrBackLeavesSettingsFirst();
    void closingTheMainWindow_data();
    void closingTheMainWindow();
    void debugSwitchOpensSettingsOnlyForOne_data();
    void debugSwitchOpensSettingsOnlyForOne();
    void quittingReleasesTheAssertions();

private:
    ShellFixture shell;
};

void TestAppDelegate::cleanup()
{
    shell.tearDown();
    qunsetenv("PLENOX_DEBUG_SETTINGS");
}

void TestAppDelegate::launchSettlesTheDisplayMode_data()
{
    QTest::addColumn<bool>("onboarded");
    QTest::addColumn<int>("answer"); // to the first launch's question; -1: none may come
    QTest::addColumn<bool>("storedMenuBarMode");
    QTest::addColumn<bool>("trayAvailable");
    QTest::addColumn<bool>("menuBarMode");
    QTest::addColumn<bool>("windowShown");
    const int first = Alert::FirstButton;
    const int second = Alert::SecondButton;
    QTest::newRow("first launch, first button") << false << first << false << true << false << true;
    // The window still comes to the front once, after the mode has settled.
    QTest::newRow("first launch, second button")
        << false << second << false << true << true << true;
    QTest::newRow("first launch without a tray") << false << -1 << true << false << false << true;
    QTest::newRow("window mode") << true << -1 << false << true << false << true;
    QTest::newRow("menu-bar mode") << true << -1 << true << true << true << false;
}

// On the first launch the window comes up first, then the question is asked once: the flag is
// written before it. Later launches, and a first one without a tray, ask nothing.
void TestAppDelegate::launchSettlesTheDisplayMode()
{
    QFETCH(bool, onboarded);
    QFETCH(int, answer);
    QFETCH(bool, storedMenuBarMode);
    QFETCH(bool, trayAvailable);
    QFETCH(bool, menuBarMode);
    QFETCH(bool, windowShown);
    DefaultsStore::setValue(QStringLiteral("VLOnboarded"), onboarded);
    DefaultsStore::setValue(QStringLiteral("VLMenuBarMode"), storedMenuBarMode);
    bool asked = false;
    bool windowWasUp = false;
    bool onboardedWrittenFirst = false;
    QStringList buttons;
    Alert::setNextAnswer([&](Alert &alert) {
        asked = true;
        windowWasUp = shell.delegate->mainWindow()->isVisible();
        onboardedWrittenFirst = DefaultsStore::boolean(QStringLiteral("VLOnboarded")) == true;
        for (const QPushButton *button : alert.buttons())
            buttons << button->text();
        return answer;
    });
    shell.launch(trayAvailable);
    Alert::clearPendingAnswers();
    AppDelegate &delegate = *shell.delegate;
    QCOMPARE(asked, answer != -1);
    if (asked) {
        QVERIFY(windowWasUp);
        QVERIFY(onboardedWrittenFirst);
        QCOMPARE(
            buttons,
            QStringList({ text("onboarding.dock_button"), text("onboarding.menubar_button") }));
    }
    QCOMPARE(DefaultsStore::boolean(QStringLiteral("VLOnboarded")), true);
    QCOMPARE(delegate.isMenuBarMode(), menuBarMode);
    QCOMPARE(delegate.statusController().isEnabled(), menuBarMode);
    if (menuBarMode)
        QCOMPARE(titles(delegate.statusController().menu()).first(), text("awake.button_start"));
    QCOMPARE(delegate.mainWindow()->windowFlags().testFlag(Qt::Tool), menuBarMode);
    QCOMPARE(delegate.applicationShouldTerminateAfterLastWindowClosed(), !menuBarMode);
    if (windowShown) {
        QTRY_VERIFY(delegate.mainWindow()->isVisible());
    } else {
        QTest::qWait(20);
        QVERIFY(!delegate.mainWindow()->isVisible());
    }
    // The hourly server sync runs from the start.
    QVERIFY(delegate.hourlyTimer() && delegate.hourlyTimer()->isActive());
    QCOMPARE(delegate.hourlyTimer()->intervalAsDuration(), 1h);
    QCOMPARE(delegate.updater().updateCheckInterval(), 3600s);
}

// Every redraw comes from the engine's one change handler, the tray icon's included.
void TestAppDelegate::engineChangesRedrawEverything()
{
    ShellFixture::storeOnboarded(true);
    shell.launch();
    AppDelegate &delegate = *shell.delegate;
    QPointer<QMenu> firstMenu = delegate.statusController().menu();
    shell.engine->start(90, false);
    QCOMPARE(delegate.awakeButton()->text(), text("awake.button_stop"));
    QCOMPARE(delegate.awakeStatusLabel()->text(), shell.engine->statusText());
    QCOMPARE(delegate.awakeStatusLabel()->font().weight(), QFont::DemiBold);
    QVERIFY(delegate.statusController().isActive());
    QVERIFY(delegate.statusController().menu() != firstMenu);
    QCOMPARE(titles(delegate.statusController().menu()).first(), text("awake.button_stop"));

    shell.clock->advance(60s);
    QCOMPARE(delegate.awakeStatusLabel()->text(),
             L(QStringLiteral("awake.status_hours_format"), qint64(1), qint64(29)));
    shell.engine->stop();
    QCOMPARE(delegate.awakeButton()->text(), text("awake.button_start"));
    QCOMPARE(delegate.awakeStatusLabel()->text(), text("awake.status_normal"));
    QCOMPARE(delegate.awakeStatusLabel()->font().weight(), QFont::Normal);
    QVERIFY(!delegate.statusController().isActive());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(firstMenu.isNull());
}

// Return presses the big button, which starts the default duration, not the custom one. Like
// every action it leaves the redraw to the engine's one change notification.
void TestAppDelegate::bigButtonUsesTheDefaultDuration()
{
    ShellFixture::storeOnboarded(false);
    AwakeSettings::setCustomMinutes(95);
    AwakeSettings::setDefaultMinutes(120);
    AwakeSettings::setKeepDisplayAwake(true);
    shell.launch();
    QPushButton *button = shell.delegate->awakeButton();
    int notifications = 0;
    shell.engine->setOnChange([&] { ++notifications; });
    QVERIFY(QTest::qWaitForWindowActive(shell.delegate->mainWindow()));
    QTest::keyClick(shell.delegate->mainWindow(), Qt::Key_Return);
    QTRY_VERIFY(shell.engine->isActive());
    QCOMPARE(notifications, 1);
    QCOMPARE(button->text(), text("awake.button_start"));
    QCOMPARE(shell.engine->endDate(), shell.clock->now().addSecs(120 * 60));
    QCOMPARE(shell.assertions->heldCount(PowerAssertions::Type::PreventUserIdleDisplaySleep), 1);
    button->click();
    QVERIFY(!shell.engine->isActive());
    QCOMPARE(notifications, 2);
}

void TestAppDelegate::statusMenuFollowsTheState_data()
{
    QTest::addColumn<bool>("running");
    QTest::addColumn<int>("customMinutes");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<int>("endsIn"); // minutes after the choice; 0: unlimited, -1: stopped
    QTest::newRow("idle: start uses the default")
        << false << 0 << text("awake.button_start") << 120;
    QTest::newRow("idle: unlimited") << false << 0 << text("awake.duration_unlimited") << 0;
    QTest::newRow("running: stop") << true << 0 << text("awake.button_stop") << -1;
    QTest::newRow("running: a listed duration replaces it")
        << true << 0 << text("awake.duration_30_min") << 30;
    QTest::newRow("stored custom starts without a dialog")
        << false << 90 << AwakeSettings::formatMinutes(90) << 90;
}

void TestAppDelegate::statusMenuFollowsTheState()
{
    QFETCH(bool, running);
    QFETCH(int, customMinutes);
    QFETCH(QString, chosen);
    QFETCH(int, endsIn);
    AwakeSettings::setDefaultMinutes(120);
    AwakeSettings::setCustomMinutes(customMinutes);
    ShellFixture::storeOnboarded(false);
    shell.launch();
    if (running)
        shell.engine->start(0, false);
    std::unique_ptr<QMenu> menu(shell.delegate->buildStatusMenu());
    QStringList expected
        = texts({ running ? "awake.button_stop" : "awake.button_start", "---",
                  "awake.menu_duration_header", "awake.duration_unlimited", "awake.duration_30_min",
                  "awake.duration_1_hour", "awake.duration_2_hours", "awake.duration_4_hours",
                  "awake.duration_custom", "---", "menu.open_app", "---", "menu.check_updates",
                  "menu.report_problem", "---", "menu.quit" });
    if (customMinutes > 0)
        expected[8] = AwakeSettings::formatMinutes(customMinutes);
    QCOMPARE(titles(menu.get()), expected);
    QVERIFY(!menu->actions().at(2)->isEnabled());
    QList<int> tags;
    for (int i = 3; i <= 8; ++i)
        tags << menu->actions().at(i)->data().toInt();
    QCOMPARE(tags, (QList<int> { 0, 30, 60, 120, 240, customMinutes }));
    QVERIFY(menu->actions().at(3)->text().startsWith(u' ')); // set under their heading
    QCOMPARE(menu->actions().last()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    for (const QAction *item : menu->actions())
        QVERIFY(!item->isCheckable());

    itemTitled(menu.get(), chosen)->trigger();
    QCOMPARE(shell.engine->isActive(), endsIn >= 0);
    QCOMPARE(shell.engine->endDate(),
             endsIn > 0 ? std::optional(shell.clock->now().addSecs(endsIn * 60)) : std::nullopt);
    QCOMPARE(shell.assertions->heldCount(PowerAssertions::Type::PreventUserIdleSystemSleep),
             endsIn >= 0 ? 1 : 0);
    QCOMPARE(shell.delegate->awakeButton()->text(),
             text(endsIn >= 0 ? "awake.button_stop" : "awake.button_start"));
}

// Ctrl+W (closeOrBack) leaves the settings page first, then closes the window.
void TestAppDelegate::closeOrBackLeavesSettingsFirst()
{
    ShellFixture::storeOnboarded(true);
    shell.launch();
    AppDelegate &delegate = *shell.delegate;
    MainWindow *window = delegate.mainWindow();
    delegate.showMainWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    delegate.showSettings();
    QVERIFY(delegate.settingsView()->isVisible());
    QVERIFY(!delegate.mainView()->isVisible());
    QTest::keyClick(window, Qt::Key_W, Qt::ControlModifier);
    QVERIFY(window->isVisible());
    QVERIFY(delegate.mainView()->isVisible());
    delegate.closeOrBack();
    QVERIFY(!window->isVisible());

    // Closed on the settings page, it reopens there.
    delegate.showMainWindow();
    delegate.showSettings();
    window->close();
    delegate.showMainWindow();
    QVERIFY(delegate.settingsView()->isVisible());
}

void TestAppDelegate::closingTheMainWindow_data()
{
    QTest::addColumn<bool>("menuBarMode");
    QTest::addColumn<bool>("trayAvailable");
    QTest::newRow("window mode moves to the tray") << false << true;
    QTest::newRow("menu-bar mode only closes") << true << true;
    QTest::newRow("without a tray it stays a window") << false << false;
}

// Ctrl+W goes through the window's own shortcuts, then closeOrBack and windowShouldClose. A
// reopen request (the desktop launching the program again) brings back the window only when
// there is no tray icon to use instead.
void TestAppDelegate::closingTheMainWindow()
{
    QFETCH(bool, menuBarMode);
    QFETCH(bool, trayAvailable);
    ShellFixture::storeOnboarded(menuBarMode);
    shell.launch(trayAvailable);
    AppDelegate &delegate = *shell.delegate;
    MainWindow *window = delegate.mainWindow();
    delegate.showMainWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    const QPointer<QMenu> menu = delegate.statusController().menu();
    QTest::keyClick(window, Qt::Key_W, Qt::ControlModifier);
    QCOMPARE(storedMenuBarMode(), trayAvailable);
    QCOMPARE(delegate.statusController().isEnabled(), trayAvailable);
    QCOMPARE(window->windowFlags().testFlag(Qt::Tool), trayAvailable);
    if (trayAvailable && !menuBarMode)
        QTRY_VERIFY(window->isVisible()); // the deferred step of the mode change
    else
        QVERIFY(!window->isVisible());
    if (menuBarMode)
        QCOMPARE(delegate.statusController().menu(), menu.data());
    QVERIFY(delegate.windowShouldClose(nullptr));

    window->hide();
    QVERIFY(delegate.applicationShouldHandleReopen(false));
    QTest::qWait(10);
    QCOMPARE(window->isVisible(), !trayAvailable);
}

void TestAppDelegate::debugSwitchOpensSettingsOnlyForOne_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("settings");
    QTest::newRow("1") << QStringLiteral("1") << true;
    QTest::newRow("true") << QStringLiteral("true") << false;
    QTest::newRow("01") << QStringLiteral("01") << false;
    QTest::newRow("absent") << QString() << false;
}

void TestAppDelegate::debugSwitchOpensSettingsOnlyForOne()
{
    QFETCH(QString, value);
    QFETCH(bool, settings);
    if (!value.isNull())
        qputenv("PLENOX_DEBUG_SETTINGS", value.toUtf8());
    ShellFixture::storeOnboarded(false);
    shell.launch();
    const AppDelegate &delegate = *shell.delegate;
    // The settings page may be built only when first opened.
    const QWidget *page = delegate.settingsView();
    QCOMPARE(page && page->isVisibleTo(delegate.mainWindow()), settings);
    QCOMPARE(delegate.mainView()->isVisibleTo(delegate.mainWindow()), !settings);
}

void TestAppDelegate::quittingReleasesTheAssertions()
{
    ShellFixture::storeOnboarded(false);
    shell.launch();
    AppDelegate &delegate = *shell.delegate;
    QVERIFY(QTest::qWaitForWindowActive(delegate.mainWindow()));
    QAction *quit = itemTitled(delegate.mainMenu()->actions().first()->menu(), text("menu.quit"));
    QVERIFY(quit);
    QSignalSpy quitRequests(quit, &QAction::triggered);
    QTest::keyClick(delegate.mainWindow(), Qt::Key_Q, Qt::ControlModifier);
    QCOMPARE(quitRequests.size(), 1);

    shell.engine->start(0, true);
    QCOMPARE(shell.assertions->held().size(), 2);
    delegate.applicationWillTerminate();
    QVERIFY(shell.assertions->held().isEmpty());
    QVERIFY(!shell.engine->isActive());
}

QTEST_MAIN(TestAppDelegate)
#include "tst_appdelegate.moc"
