#include "alert.h"
#include "appdelegate.h"
#include "awakeengine.h"
#include "awakesettings.h"
#include "defaultsstore.h"
#include "localisation.h"
#include "manualclock.h"
#include "memorylauncherbadge.h"
#include "memoryloginitem.h"
#include "memorypowerassertions.h"
#include "statusitemcontroller.h"
#include "supportchannel.h"
#include "updater.h"

#include <QApplication>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

using namespace std::chrono_literals;

namespace {

// An updater that never reaches the network: its feed is a closed local port, its time manual.
std::unique_ptr<Updater> quietUpdater(ManualClock &clock)
{
    Updater::Config config;
    config.feedUrl = QUrl(QStringLiteral("http://127.0.0.1:9/appcast.xml"));
    config.clock = &clock;
    return std::make_unique<Updater>(config);
}
QString text(const char *key)
{
    return L(QString::fromLatin1(key));
}

QStringList titles(const QMenu *menu)
{
    QStringList result;
    for (const QAction *item : menu->actions())
        result << (item->isSeparator() ? QStringLiteral("---") : item->text().trimmed());
    return result;
}

QAction *itemTitled(const QMenu *menu, const QString &title)
{
    for (QAction *item : menu->actions()) {
        if (item->text().trimmed() == title)
            return item;
    }
    return nullptr;
}
} // namespace

class TestAppDelegate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init();
    void cleanup();

    void firstLaunchAsksAfterTheWindowIsUp();
    void onboardingSecondButtonChoosesMenuBarMode();
    void secondLaunchDoesNotAsk();
    void withoutTrayNothingIsAskedAndTheWindowStays();
    void menuBarModeAtLaunchKeepsTheWindowHidden();
    void engineChangesRedrawEverything();
    void actionsDoNotRedrawByThemselves();
    void bigButtonUsesTheDefaultDuration();
    void statusMenuFollowsTheState();
    void statusMenuCustomEntry();
    void statusDurationReplacesTheRunningPeriod();
    void closeOrBackLeavesSettingsFirst();
    void closingInDockModeMovesToMenuBarMode();
    void closingInMenuBarModeOnlyCloses();
    void reopenBringsTheWindowBackInDockModeOnly();
    void debugSwitchOpensSettingsOnlyForOne_data();
    void debugSwitchOpensSettingsOnlyForOne();
    void shortcutsWorkInsideTheMainWindow();
    void quittingReleasesTheAssertions();
    void hourlyTimerRuns();

private:
    void launch(bool trayAvailable = true);
    void answerOnboarding(int response);

    std::unique_ptr<ManualClock> clock;
    MemoryPowerAssertions *assertions = nullptr;
    std::unique_ptr<AwakeEngine> engine;
    std::unique_ptr<SupportChannel> support;
    std::unique_ptr<AppDelegate> delegate;
    std::unique_ptr<LoginItem> makeLoginItem() { return std::make_unique<MemoryLoginItem>(); }
};

void TestAppDelegate::init()
{
    DefaultsStore::clear();
    Alert::clearPendingAnswers();
    clock = std::make_unique<ManualClock>();
    auto memory = std::make_unique<MemoryPowerAssertions>();
    assertions = memory.get();
    engine = std::make_unique<AwakeEngine>(std::move(memory), *clock);
    // No server: every exchange fails quietly, as with no network.
    support = std::make_unique<SupportChannel>(QUrl(), [] { return QUrl(); });
}

void TestAppDelegate::cleanup()
{
    delegate.reset();
    support.reset();
    engine.reset();
    QVERIFY(!Alert::hasPendingAnswers());
    qunsetenv("PLENOX_DEBUG_SETTINGS");
}

void TestAppDelegate::launch(bool trayAvailable)
{
    delegate = std::make_unique<AppDelegate>(
        *engine, *support,
        AppDelegate::Options { .trayAvailable = trayAvailable,
                               .installCrashReporter = false,
                               .launcherBadge = std::make_unique<MemoryLauncherBadge>(),
                               .updater = quietUpdater(*clock),
                               .loginItem = makeLoginItem() });
    delegate->applicationDidFinishLaunching();
    QCoreApplication::processEvents();
}

void TestAppDelegate::answerOnboarding(int response)
{
    Alert::setNextAnswer([response](Alert &alert) {
        return alert.messageText() == L(QStringLiteral("onboarding.welcome_title")) ? response : -1;
    });
}

void TestAppDelegate::firstLaunchAsksAfterTheWindowIsUp()
{
    bool windowWasUp = false;
    bool onboardedWrittenFirst = false;
    QStringList buttons;
    Alert::setNextAnswer([&](Alert &alert) {
        windowWasUp = delegate->mainWindow() && delegate->mainWindow()->isVisible();
        onboardedWrittenFirst = DefaultsStore::boolean(QStringLiteral("VLOnboarded")) == true;
        for (const QPushButton *button : alert.buttons())
            buttons << button->text();
        return int(Alert::FirstButton);
    });
    launch();
    QVERIFY(windowWasUp);
    QVERIFY(onboardedWrittenFirst);
    QCOMPARE(buttons,
             QStringList({ text("onboarding.dock_button"), text("onboarding.menubar_button") }));
    QCOMPARE(DefaultsStore::boolean(QStringLiteral("VLMenuBarMode")), false);
    QVERIFY(!delegate->statusController().isEnabled());
    QTRY_VERIFY(delegate->mainWindow()->isVisible());
    QCOMPARE(delegate->awakeButton()->text(), text("awake.button_start"));
    QVERIFY(delegate->mainMenu());
    QVERIFY(engine->onChange());
}

void TestAppDelegate::onboardingSecondButtonChoosesMenuBarMode()
{
    answerOnboarding(Alert::SecondButton);
    launch();
    QCOMPARE(DefaultsStore::boolean(QStringLiteral("VLMenuBarMode")), true);
    QVERIFY(delegate->statusController().isEnabled());
    QVERIFY(delegate->mainWindow()->windowFlags().testFlag(Qt::Tool));
    // The window still comes to the front once, after the mode has settled.
    QTRY_VERIFY(delegate->mainWindow()->isVisible());
}

void TestAppDelegate::secondLaunchDoesNotAsk()
{
    DefaultsStore::setValue(QStringLiteral("VLOnboarded"), true);
    launch();
    QVERIFY(!Alert::hasPendingAnswers());
    QVERIFY(delegate->mainWindow()->isVisible());
}

void TestAppDelegate::withoutTrayNothingIsAskedAndTheWindowStays()
{
    DefaultsStore::setValue(QStringLiteral("VLMenuBarMode"), true);
    launch(false);
    QCOMPARE(DefaultsStore::boolean(QStringLiteral("VLOnboarded")), true);
    QVERIFY(!delegate->isMenuBarMode());
    QVERIFY(!delegate->statusController().isEnabled());
    QVERIFY(delegate->mainWindow()->isVisible());
    QVERIFY(!delegate->mainWindow()->windowFlags().testFlag(Qt::Tool));
    QVERIFY(delegate->windowShouldClose(delegate->mainWindow()));
    QVERIFY(!delegate->isMenuBarMode());
}

void TestAppDelegate::menuBarModeAtLaunchKeepsTheWindowHidden()
{
    DefaultsStore::setValue(QStringLiteral("VLOnboarded"), true);
    DefaultsStore::setValue(QStringLiteral("VLMenuBarMode"), true);
    launch();
    QVERIFY(delegate->statusController().isEnabled());
    QCOMPARE(titles(delegate->statusController().menu()).first(), text("awake.button_start"));
    QTest::qWait(20);
    QVERIFY(!delegate->mainWindow()->isVisible());
    QVERIFY(!delegate->applicationShouldTerminateAfterLastWindowClosed());
}

void TestAppDelegate::engineChangesRedrawEverything()
{
    DefaultsStore::setValue(QStringLiteral("VLOnboarded"), true);
    DefaultsStore::setValue(QStringLiteral("VLMenuBarMode"), true);
    launch();
    QPointer<QMenu> firstMenu = delegate->statusController().menu();
    engine->start(90, false);
    QCOMPARE(delegate->awakeButton()->text(), text("awake.button_stop"));
    QCOMPARE(delegate->awakeStatusLabel()->text(), engine->statusText());
    QCOMPARE(delegate->awakeStatusLabel()->font().weight(), QFont::DemiBold);
    QVERIFY(delegate->statusController().isActive());
    QVERIFY(delegate->statusController().menu() != firstMenu);
    QCOMPARE(titles(delegate->statusController().menu()).first(), text("awake.button_stop"));

    clock->advance(60s);
    QCOMPARE(delegate->awakeStatusLabel()->text(),
             L(QStringLiteral("awake.status_hours_format"), qint64(1), qint64(29)));
    engine->stop();
    QCOMPARE(delegate->awakeButton()->text(), text("awake.button_start"));
    QCOMPARE(delegate->awakeStatusLabel()->text(), text("awake.status_normal"));
    QCOMPARE(delegate->awakeStatusLabel()->font().weight(), QFont::Normal);
    QVERIFY(!delegate->statusController().isActive());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(firstMenu.isNull());
}

void TestAppDelegate::actionsDoNotRedrawByThemselves()
{
    DefaultsStore::setValue(QStringLiteral("VLOnboarded"), true);
    launch();
    int notifications = 0;
    engine->setOnChange([&] { ++notifications; });
    delegate->awakePressed();
    QVERIFY(engine->isActive());
    QCOMPARE(notifications, 1);
    QCOMPARE(delegate->awakeButton()->text(), text("awake.button_start"));
}

void TestAppDelegate::bigButtonUsesTheDefaultDuration()
{
    DefaultsStore::setValue(QStringLiteral("VLOnboarded"), true);
    AwakeSettings::setCustomMinutes(95);
    AwakeSettings::setDefaultMinutes(120);
    AwakeSettings::setKeepDisplayAwake(true);
    launch();
    QVERIFY(QTest::qWaitForWindowActive(delegate->mainWindow()));
    QTest::keyClick(delegate->mainWindow(), Qt::Key_Return);
    QTRY_VERIFY(engine->isActive());
    QCOMPARE(engine->endDate(), clock->now().addSecs(120 * 60));
    QCOMPARE(assertions->heldCount(PowerAssertions::Type::PreventUserIdleDisplaySleep), 1);
    delegate->awakeButton()->click();
    QVERIFY(!engine->isActive());
}

void TestAppDelegate::statusMenuFollowsTheState()
{
    DefaultsStore::setValue(QStringLiteral("VLOnboarded"), true);
    launch();
    std::unique_ptr<QMenu> idle(delegate->buildStatusMenu());
    const QStringList expected {
        text("awake.button_start"),
        "---",
        text("awake.menu_duration_header"),
        text("awake.duration_unlimited"),
        text("awake.duration_30_min"),
        text("awake.duration_1_hour"),
        text("awake.duration_2_hours"),
        text("awake.duration_4_hours"),
        text("awake.duration_custom"),
        "---",
        text("menu.open_app"),
        "---",
        text("menu.check_updates"),
        text("menu.report_problem"),
        "---",
        text("menu.quit"),
    };
    QCOMPARE(titles(idle.get()), expected);
    QVERIFY(!idle->actions().at(2)->isEnabled());
    QList<int> tags;
    for (int i = 3; i <= 8; ++i)
        tags << idle->actions().at(i)->data().toInt();
    QCOMPARE(tags, (QList<int> { 0, 30, 60, 120, 240, 0 }));
    QVERIFY(idle->actions().at(3)->text().startsWith(u' '));
    QCOMPARE(idle->actions().last()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    for (const QAction *item : idle->actions())
        QVERIFY(!item->isCheckable());

    engine->start(0, false);
    std::unique_ptr<QMenu> active(delegate->buildStatusMenu());
    QCOMPARE(active->actions().first()->text(), text("awake.button_stop"));
    active->actions().first()->trigger();
    QVERIFY(!engine->isActive());
}

void TestAppDelegate::statusMenuCustomEntry()
{
    DefaultsStore::setValue(QStringLiteral("VLOnboarded"), true);
    launch();
    AwakeSettings::setCustomMinutes(90);
    std::unique_ptr<QMenu> menu(delegate->buildStatusMenu());
    QAction *custom = itemTitled(menu.get(), AwakeSettings::formatMinutes(90));
    QVERIFY(custom);
    QCOMPARE(custom->data().toInt(), 90);
    custom->trigger();
    QVERIFY(engine->isActive());
    QCOMPARE(engine->endDate(), clock->now().addSecs(90 * 60));
    QCOMPARE(delegate->awakeButton()->text(), text("awake.button_stop"));
}

void TestAppDelegate::statusDurationReplacesTheRunningPeriod()
{
    DefaultsStore::setValue(QStringLiteral("VLOnboarded"), true);
    launch();
    engine->start(0, false);
    std::unique_ptr<QMenu> menu(delegate->buildStatusMenu());
    itemTitled(menu.get(), text("awake.duration_30_min"))->trigger();
    QCOMPARE(engine->endDate(), clock->now().addSecs(30 * 60));
    QCOMPARE(assertions->heldCount(PowerAssertions::Type::PreventUserIdleSystemSleep), 1);
}

void TestAppDelegate::closeOrBackLeavesSettingsFirst()
{
    DefaultsStore::setValue(QStringLiteral("VLOnboarded"), true);
    DefaultsStore::setValue(QStringLiteral("VLMenuBarMode"), true);
    launch();
    delegate->showMainWindow();
    delegate->showSettings();
    QVERIFY(delegate->settingsView()->isVisible());
    QVERIFY(!delegate->mainView()->isVisible());
    delegate->closeOrBack();
    QVERIFY(delegate->mainWindow()->isVisible());
    QVERIFY(delegate->mainView()->isVisible());
    delegate->closeOrBack();
    QVERIFY(!delegate->mainWindow()->isVisible());

    // Closed on the settings page, it reopens there.
    delegate->showMainWindow();
    delegate->showSettings();
    delegate->mainWindow()->close();
    delegate->showMainWindow();
    QVERIFY(delegate->settingsView()->isVisible());
}

void TestAppDelegate::closingInDockModeMovesToMenuBarMode()
{
    DefaultsStore::setValue(QStringLiteral("VLOnboarded"), true);
    launch();
    QVERIFY(!delegate->statusController().isEnabled());
    QTest::keyClick(delegate->mainWindow(), Qt::Key_W, Qt::ControlModifier);
    QCOMPARE(DefaultsStore::boolean(QStringLiteral("VLMenuBarMode")), true);
    QVERIFY(delegate->statusController().isEnabled());
    QVERIFY(delegate->mainWindow()->windowFlags().testFlag(Qt::Tool));
    // The deferred step brings the window back in menu-bar mode.
    QTRY_VERIFY(delegate->mainWindow()->isVisible());
}

void TestAppDelegate::closingInMenuBarModeOnlyCloses()
{
    DefaultsStore::setValue(QStringLiteral("VLOnboarded"), true);
    DefaultsStore::setValue(QStringLiteral("VLMenuBarMode"), true);
    launch();
    delegate->showMainWindow();
    QPointer<QMenu> menu = delegate->statusController().menu();
    QVERIFY(delegate->mainWindow()->close());
    QVERIFY(!delegate->mainWindow()->isVisible());
    QCOMPARE(delegate->statusController().menu(), menu.data());
    QVERIFY(delegate->windowShouldClose(nullptr));
    QCOMPARE(DefaultsStore::boolean(QStringLiteral("VLMenuBarMode")), true);
}

void TestAppDelegate::reopenBringsTheWindowBackInDockModeOnly()
{
    DefaultsStore::setValue(QStringLiteral("VLOnboarded"), true);
    DefaultsStore::setValue(QStringLiteral("VLMenuBarMode"), true);
    launch();
    QVERIFY(delegate->applicationShouldHandleReopen(false));
    QTest::qWait(10);
    QVERIFY(!delegate->mainWindow()->isVisible());

    DefaultsStore::setValue(QStringLiteral("VLMenuBarMode"), false);
    QVERIFY(delegate->applicationShouldHandleReopen(false));
    QVERIFY(delegate->mainWindow()->isVisible());
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
    DefaultsStore::setValue(QStringLiteral("VLOnboarded"), true);
    launch();
    QCOMPARE(delegate->settingsView()->isVisibleTo(delegate->mainWindow()), settings);
    QCOMPARE(delegate->mainView()->isVisibleTo(delegate->mainWindow()), !settings);
}

void TestAppDelegate::shortcutsWorkInsideTheMainWindow()
{
    DefaultsStore::setValue(QStringLiteral("VLOnboarded"), true);
    launch();
    QVERIFY(QTest::qWaitForWindowActive(delegate->mainWindow()));
    delegate->showSettings();
    QTest::keyClick(delegate->mainWindow(), Qt::Key_W, Qt::ControlModifier);
    QVERIFY(delegate->mainView()->isVisible());
    QAction *quit = itemTitled(delegate->mainMenu()->actions().first()->menu(), text("menu.quit"));
    QVERIFY(quit);
    QSignalSpy quitRequests(quit, &QAction::triggered);
    QTest::keyClick(delegate->mainWindow(), Qt::Key_Q, Qt::ControlModifier);
    QCOMPARE(quitRequests.size(), 1);
    QCOMPARE(delegate->mainMenu()->actions().size(), 3);
}

void TestAppDelegate::quittingReleasesTheAssertions()
{
    DefaultsStore::setValue(QStringLiteral("VLOnboarded"), true);
    launch();
    engine->start(0, true);
    QCOMPARE(assertions->held().size(), 2);
    delegate->applicationWillTerminate();
    QVERIFY(assertions->held().isEmpty());
    QVERIFY(!engine->isActive());
}

void TestAppDelegate::hourlyTimerRuns()
{
    DefaultsStore::setValue(QStringLiteral("VLOnboarded"), true);
    launch();
    QVERIFY(delegate->hourlyTimer());
    QVERIFY(delegate->hourlyTimer()->isActive());
    QCOMPARE(delegate->hourlyTimer()->intervalAsDuration(), std::chrono::hours(1));
}

QTEST_MAIN(TestAppDelegate)
#include "tst_appdelegate.moc"
