// SPDX-License-Identifier: MIT
// The program shell: the delegate launched over memory stand-ins, and the tray item it drives.
#include "alert.h"
#include "awakesettings.h"
#include "defaultsstore.h"
#include "localisation.h"
#include "settingkeys.h"
#include "shellfixture.h"
#include "statusitemcontroller.h"

#include <QSystemTrayIcon>
#include <QTest>

using namespace std::chrono_literals;

class TestAppDelegate : public QObject
{
    Q_OBJECT

    ShellFixture shell;

private slots:
    void init() { shell.setUp(); }
    void cleanup() { shell.tearDown(); }

    void launchSettlesTheDisplayMode_data()
    {
        QTest::addColumn<bool>("onboarded");
        QTest::addColumn<bool>("trayAvailable");
        QTest::addColumn<int>("answer"); // to the first launch's question; -1: none may come
        QTest::addColumn<bool>("menuBarMode");
        QTest::addColumn<QString>("debug"); // PLENOX_DEBUG_SETTINGS: only "1" opens the settings
        const int first = Alert::FirstButton;
        QTest::newRow("first launch, window") << false << true << first << false << "01";
        QTest::newRow("first launch, menu bar") << false << true << first + 1 << true << "";
        QTest::newRow("first launch without a tray") << false << false << -1 << false << "";
        QTest::newRow("later launch, menu bar") << true << true << -1 << true << "";
        QTest::newRow("debug switch") << true << true << -1 << false << "1";
    }
    // On the first launch the window comes up first, then the question is asked: the flag is
    // written before it. The window comes up unless a later launch starts in menu-bar mode.
    void launchSettlesTheDisplayMode()
    {
        QFETCH(bool, onboarded);
        QFETCH(bool, trayAvailable);
        QFETCH(int, answer);
        QFETCH(bool, menuBarMode);
        QFETCH(QString, debug);
        bool asked = false;
        Alert::setNextAnswer([&](Alert &) {
            asked = shell.delegate->mainWindow()->isVisible()
                && DefaultsStore::boolean(SettingKeys::onboarded.key()) == true;
            return answer;
        });
        qputenv("PLENOX_DEBUG_SETTINGS", debug.toUtf8());
        AppDelegate &delegate = shell.launch(onboarded && menuBarMode, trayAvailable, onboarded);
        qunsetenv("PLENOX_DEBUG_SETTINGS");
        Alert::clearPendingAnswers();
        QCOMPARE(asked, answer != -1);
        QCOMPARE(DefaultsStore::boolean(SettingKeys::onboarded.key()), true);
        QCOMPARE(delegate.isMenuBarMode(), menuBarMode);
        QCOMPARE(delegate.statusController().isEnabled(), menuBarMode);
        QCOMPARE(delegate.applicationShouldTerminateAfterLastWindowClosed(), !menuBarMode);
        QCoreApplication::processEvents(); // the deferred step of the mode change
        QCOMPARE(delegate.mainWindow()->isVisible(), !onboarded || !menuBarMode);
        QCOMPARE(delegate.settingsPage() != nullptr, debug == u"1"); // built when first opened
    }

    // Every redraw, the tray icon's included, follows the engine's changes; quitting releases all.
    void engineChangesRedrawEverything()
    {
        AppDelegate &delegate = shell.launch(true);
        shell.engine->start(90, false);
        QVERIFY(delegate.statusController().isActive());
        shell.clock->advance(60s);
        QCOMPARE(delegate.homeView()->statusLabel()->text(),
                 L(QStringLiteral("awake.status_hours_format"), qint64(1), qint64(29)));
        shell.engine->stop();
        QCOMPARE(delegate.homeView()->awakeButton()->text(), L("awake.button_start"));
        QCOMPARE(delegate.homeView()->statusLabel()->text(), L("awake.status_normal"));
        QVERIFY(!delegate.statusController().isActive());
        shell.engine->start(0, true);
        delegate.applicationWillTerminate();
        QVERIFY(shell.assertions->held().isEmpty());
    }

    // The tray menu's entries, and what each choice starts.
    void statusMenuChoices_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("customMinutes");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<int>("answer"); // to the custom-duration dialog; -1: none may come
        QTest::addColumn<int>("endsIn"); // minutes after the choice; 0: unlimited, -1: stopped
        QTest::newRow("idle: start uses the default, not the custom")
            << false << 90 << L("awake.button_start") << -1 << 120;
        QTest::newRow("running: stop") << true << 0 << L("awake.button_stop") << -1 << -1;
        QTest::newRow("running: a listed duration replaces it")
            << true << 0 << L("awake.duration_30_min") << -1 << 30;
        QTest::newRow("stored custom starts without a dialog")
            << false << 90 << AwakeSettings::formatMinutes(90) << -1 << 90;
        QTest::newRow("no custom: asks, cancelled starts nothing")
            << false << 0 << L("awake.duration_custom") << int(Alert::SecondButton) << -1;
    }
    void statusMenuChoices()
    {
        QFETCH(bool, running);
        QFETCH(int, customMinutes);
        QFETCH(QString, chosen);
        QFETCH(int, answer);
        QFETCH(int, endsIn);
        AwakeSettings::setDefaultMinutes(120);
        AwakeSettings::setCustomMinutes(customMinutes);
        AwakeSettings::setKeepDisplayAwake(true);
        shell.launch();
        if (running)
            shell.engine->start(0, false);
        std::unique_ptr<QMenu> menu(shell.delegate->buildStatusMenu());
        QStringList expected { L(running ? "awake.button_stop" : "awake.button_start"), "---" };
        for (const char *key :
             { "awake.menu_duration_header", "awake.duration_unlimited", "awake.duration_30_min",
               "awake.duration_1_hour", "awake.duration_2_hours", "awake.duration_4_hours" })
            expected << L(key);
        expected << (customMinutes ? AwakeSettings::formatMinutes(customMinutes)
                                   : L("awake.duration_custom"))
                 << "---" << L("menu.open_app") << "---" << L("menu.check_updates")
                 << L("menu.report_problem") << "---" << L("menu.quit");
        QStringList titles;
        for (const QAction *item : menu->actions())
            titles << (item->isSeparator() ? QStringLiteral("---") : item->text().trimmed());
        QCOMPARE(titles, expected);
        QList<int> tags;
        for (int i = 3; i <= 8; ++i)
            tags << menu->actions().at(i)->data().toInt();
        QCOMPARE(tags, (QList<int> { 0, 30, 60, 120, 240, customMinutes }));
        QVERIFY(menu->actions().at(3)->text().startsWith(u' ')); // set under their heading
        if (answer != -1)
            Alert::setNextAnswer([answer](Alert &) { return answer; });
        itemTitled(menu.get(), chosen)->trigger();
        QCOMPARE(shell.assertions->held().size(), endsIn >= 0 ? 2 : 0); // the display's too
        QCOMPARE(shell.engine->endDate(),
                 endsIn > 0 ? std::optional(shell.clock->now().addSecs(endsIn * 60))
                            : std::nullopt);
    }

    void closingTheMainWindow_data()
    {
        QTest::addColumn<bool>("menuBarMode");
        QTest::addColumn<bool>("trayAvailable");
        QTest::newRow("window mode moves to the tray") << false << true;
        QTest::newRow("menu-bar mode only closes") << true << true;
        QTest::newRow("without a tray it stays a window") << false << false;
    }
    // Ctrl+W leaves the settings page first, then closes the window. A reopen (second launch)
    // shows it only without a tray; closed on the settings page, it reopens there.
    void closingTheMainWindow()
    {
        QFETCH(bool, menuBarMode);
        QFETCH(bool, trayAvailable);
        AppDelegate &delegate = shell.launch(menuBarMode, trayAvailable);
        MainWindow *window = delegate.mainWindow();
        delegate.showMainWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        delegate.showSettings();
        QTest::keyClick(window, Qt::Key_W, Qt::ControlModifier);
        QVERIFY(window->isVisible() && delegate.homeView()->isVisible());
        QTest::keyClick(window, Qt::Key_W, Qt::ControlModifier);
        QCOMPARE(DefaultsStore::boolean(SettingKeys::menuBarMode.key()), trayAvailable);
        QCOMPARE(delegate.statusController().isEnabled(), trayAvailable);
        if (trayAvailable && !menuBarMode)
            QTRY_VERIFY(window->isVisible()); // the deferred step of the mode change
        else
            QVERIFY(!window->isVisible());

        window->hide();
        QVERIFY(delegate.applicationShouldHandleReopen(false));
        QCoreApplication::processEvents();
        QCOMPARE(window->isVisible(), !trayAvailable);
        delegate.showSettings();
        window->close();
        delegate.showMainWindow();
        QVERIFY(delegate.settingsPage()->isVisible());
    }

    // Panels may still talk to the tray's menu: it stays, its items change, the old menu goes
    // later.
    void enablingAgainKeepsOneItemAndItsMenu()
    {
        StatusItemController controller;
        const QPointer<QMenu> first = new QMenu;
        controller.enable(first);
        QSystemTrayIcon *item = controller.trayIcon();
        QMenu *shown = item->contextMenu();
        auto *second = new QMenu;
        second->addAction(QStringLiteral("Allow Sleep"));
        controller.enable(second);
        QVERIFY(controller.trayIcon() == item && item->contextMenu() == shown && first);
        QCOMPARE(shown->actions(), second->actions());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(first.isNull());
        controller.setStatusText(QStringLiteral("25 min left"));
        QCOMPARE(item->toolTip(), L(QStringLiteral("accessibility.status_icon")) + "\n25 min left");
    }

    void appearanceFollowsStateAndColour_data()
    {
        QTest::addColumn<bool>("active");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("tint"); // none: the panel's text colour
        QTest::newRow("active, no colour stored") << true << QVariant() << "#7c3aed";
        QTest::newRow("active, system colour") << true << QVariant(QString()) << QString();
        QTest::newRow("active, green") << true << QVariant("#22C55E") << "#22c55e";
        QTest::newRow("inactive, green") << false << QVariant("#22C55E") << QString();
    }

    // Running draws the filled cup in the chosen colour; otherwise the outline in the panel's.
    void appearanceFollowsStateAndColour()
    {
        QFETCH(bool, active);
        QFETCH(QVariant, stored);
        QFETCH(QString, tint);
        if (stored.isValid())
            DefaultsStore::setValue(SettingKeys::statusColor.key(), stored);
        StatusItemController controller;
        controller.enable(new QMenu);
        controller.setActive(active);
        const StatusItemController::Appearance look = controller.appearance();
        QCOMPARE(look.filled, active);
        QCOMPARE(look.tint ? look.tint->name() : QString(), tint);
        const QImage image = controller.trayIcon()->icon().pixmap(QSize(22, 22)).toImage();
        int opaque = 0, tinted = 0;
        for (int i = 0; i < image.width() * image.height(); ++i) {
            const QRgb pixel = image.pixel(i % image.width(), i / image.width());
            opaque += qAlpha(pixel) == 255;
            tinted += qAlpha(pixel) == 255 && QColor(pixel).name() == tint;
        }
        QCOMPARE(tinted > 0, !tint.isEmpty());
        QCOMPARE(opaque > 22 * 22 / 8, active); // the filled cup covers more than the outline
    }
};

QTEST_MAIN(TestAppDelegate)
#include "tst_appdelegate.moc"
