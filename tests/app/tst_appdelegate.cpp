// SPDX-License-Identifier: MIT
// The program shell: the delegate launched over memory stand-ins, the tray item it drives and
// the settings page.
#include "alert.h"
#include "awakesettings.h"
#include "defaultsstore.h"
#include "localisation.h"
#include "settingkeys.h"
#include "shellfixture.h"
#include "statusitemcontroller.h"

#include <QLineEdit>
#include <QSystemTrayIcon>
#include <QTest>

constexpr auto displayHold = PowerAssertions::Type::PreventUserIdleDisplaySleep;

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
        QTest::newRow("first, menu bar") << false << true << int(Alert::SecondButton) << true;
        QTest::newRow("first, no tray") << false << false << -1 << false;
        QTest::newRow("later, menu bar") << true << true << -1 << true;
    }
    // On the first launch the window comes up first, then the question is asked: the flag is
    // written before it. The window comes up unless a later launch starts in menu-bar mode.
    void launchSettlesTheDisplayMode()
    {
        QFETCH(bool, onboarded);
        QFETCH(bool, trayAvailable);
        QFETCH(int, answer);
        QFETCH(bool, menuBarMode);
        bool asked = false;
        Alert::setNextAnswer([&](Alert &) {
            asked = shell.delegate->mainWindow()->isVisible()
                && DefaultsStore::boolean(SettingKeys::onboarded.key()) == true;
            return answer;
        });
        AppDelegate &delegate = shell.launch(onboarded && menuBarMode, trayAvailable, onboarded);
        Alert::clearPendingAnswers();
        QCOMPARE(asked, answer != -1);
        QCOMPARE(DefaultsStore::boolean(SettingKeys::onboarded.key()), true);
        // The mode, the tray item, quitting with the last window, then (after the deferred step of
        // the mode change) the window.
        QCoreApplication::processEvents();
        QCOMPARE(
            (QList<bool> { delegate.isMenuBarMode(), delegate.statusController().isEnabled(),
                           delegate.applicationShouldTerminateAfterLastWindowClosed(),
                           delegate.mainWindow()->isVisible() }),
            (QList<bool> { menuBarMode, menuBarMode, !menuBarMode, !onboarded || !menuBarMode }));
    }

    // What each of the tray menu's choices starts (found by its title). Start uses the default
    // duration, not the custom one; a listed one replaces a running period.
    void statusMenuChoices()
    {
        AwakeSettings::setDefaultMinutes(120);
        AwakeSettings::setCustomMinutes(90);
        AwakeSettings::setKeepDisplayAwake(true);
        shell.launch();
        // Whether a period runs before, the choice, the minutes until its end (-1: stopped).
        const std::tuple<bool, QString, int> rows[] = {
            { false, L("awake.button_start"), 120 },
            { true, L("awake.button_stop"), -1 },
            { true, L("awake.duration_30_min"), 30 },
        };
        for (const auto &[running, chosen, endsIn] : rows) {
            if (running)
                shell.engine->start(0, false);
            std::unique_ptr<QMenu> menu(shell.delegate->buildStatusMenu());
            itemTitled(menu.get(), chosen)->trigger();
            QCOMPARE(shell.assertions->held().size(), endsIn >= 0 ? 2 : 0); // the display's too
            QCOMPARE(shell.engine->endDate(),
                     endsIn >= 0 ? std::optional(shell.clock->now().addSecs(endsIn * 60))
                                 : std::nullopt);
        }
    }

    void closingTheMainWindow_data()
    {
        QTest::addColumn<bool>("trayAvailable"); // and started in menu-bar mode
        QTest::newRow("menu-bar mode only closes") << true;
        QTest::newRow("without a tray it stays a window") << false;
    }
    // Ctrl+W closes the window: in menu-bar mode only that, without a tray the program stays a
    // window. A reopen (second launch) shows it only without a tray.
    void closingTheMainWindow()
    {
        QFETCH(bool, trayAvailable);
        AppDelegate &delegate = shell.launch(trayAvailable, trayAvailable);
        MainWindow *window = delegate.mainWindow();
        delegate.showMainWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_W, Qt::ControlModifier);
        QCOMPARE(DefaultsStore::boolean(SettingKeys::menuBarMode.key()), trayAvailable);
        QCOMPARE(delegate.statusController().isEnabled(), trayAvailable);
        QVERIFY(!window->isVisible());
        QVERIFY(delegate.applicationShouldHandleReopen(false));
        QCoreApplication::processEvents();
        QCOMPARE(window->isVisible(), !trayAvailable);
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
    }

    // Choosing never starts an awake period; it only sets what the big button starts. Negative
    // hours count as none: the entry becomes the custom and the default duration, in the page and
    // in the rebuilt tray menu.
    void customDurations()
    {
        AwakeSettings::setCustomMinutes(60);
        AppDelegate &delegate = shell.launch(true);
        delegate.showSettings();
        QComboBox *menu = delegate.settingsPage()->durationMenu();
        Alert::setNextAnswer([&](Alert &alert) {
            alert.findChild<QLineEdit *>(QStringLiteral("hoursField"))->setText("-3");
            alert.findChild<QLineEdit *>(QStringLiteral("minutesField"))->setText("20");
            return int(Alert::FirstButton);
        });
        menu->setCurrentIndex(6); // after 5 presets, a separator
        emit menu->activated(6);
        QVERIFY(!shell.engine->isActive());
        // The custom and default durations, the page's selection, the tray's entry.
        const QAction *inTray = itemTitled(delegate.statusController().menu(), "20 min");
        QCOMPARE((QList<int> { AwakeSettings::customMinutes(), AwakeSettings::defaultMinutes(),
                               menu->currentIndex(), inTray ? inTray->data().toInt() : -1 }),
                 (QList<int> { 20, 20, 6, 20 }));
    }

    // Each box acts at once on a running period and is stored; automatic updates are shown on
    // only when both checking and downloading are.
    void checkboxesActAtOnceAndAreStored()
    {
        DefaultsStore::setValue(SettingKeys::updaterAutoCheck.key(), true);
        AppDelegate &delegate = shell.launch();
        delegate.showSettings();
        SettingsPage *page = delegate.settingsPage();
        shell.engine->start(30, false);
        // Per box: where it is stored (none: with the desktop) and what it puts in force.
        const std::tuple<QCheckBox *, QString, std::function<QList<bool>()>> boxes[] = {
            { page->keepDisplayCheckbox(), SettingKeys::keepDisplay.key(),
              [&] { return QList { shell.assertions->heldCount(displayHold) == 1 }; } },
            { page->autoUpdateCheckbox(), SettingKeys::updaterAutoDownload.key(),
              [&] {
                  return QList { delegate.updater().automaticallyChecksForUpdates(),
                                 delegate.updater().automaticallyDownloadsUpdates() };
              } },
            { page->menuBarCheckbox(), SettingKeys::menuBarMode.key(),
              [&] { return QList { delegate.statusController().isEnabled() }; } },
            { page->loginCheckbox(), QString(),
              [&] { return QList { shell.loginItem->isEnabled() }; } },
        };
        for (const auto &[box, key, inForce] : boxes) {
            for (bool on : { true, false }) {
                box->click();
                QCOMPARE(box->isChecked(), on);
                QCOMPARE(inForce(), QList<bool>(inForce().size(), on));
                QVERIFY(key.isEmpty() || DefaultsStore::boolean(key) == on);
            }
        }
        QVERIFY(shell.engine->isActive());
    }
};

QTEST_MAIN(TestAppDelegate)
#include "tst_appdelegate.moc"
