// SPDX-License-Identifier: MIT
#pragma once

#include "homeview.h"
#include "launcherbadge.h"
#include "loginitem.h"
#include "mainwindow.h"
#include "notifier.h"
#include "periodnotices.h"
#include "powerrules.h"
#include "powersource.h"
#include "settingspage.h"
#include "statusmenubuilder.h"
#include "supportui.h"
#include "updater.h"

#include <QObject>
#include <QPointer>

#include <memory>

class AwakeEngine;
class DisplayMode;
class QAction;
class QMenu;
class StatusItemController;
class SupportChannel;

// The program's one application object: it runs the start-up sequence and owns the parts of
// the shell, each with its own state: the main window with its home view and settings page,
// the menus, the display mode, the tray icon, the updater and the support UI. Every user action
// is one of its slots, handed to the part it concerns. The engine reports every change through
// one handler, which redraws everything from its state; actions that start or stop the engine
// never redraw by themselves.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        bool trayAvailable = true;
        // Off in tests, whose process keeps the test framework's own crash handling.
        bool installCrashReporter = true;
        // The taskbar's unread badge; the platform's own when none is given.
        std::unique_ptr<LauncherBadge> launcherBadge;
        // The updater and the login item; the program's own when none is given.
        std::unique_ptr<Updater> updater;
        std::unique_ptr<LoginItem> loginItem;
        // Where power comes from and where notices go; the platform's own when none is given.
        std::unique_ptr<PowerSource> powerSource = nullptr;
        std::unique_ptr<Notifier> notifier = nullptr;
    };

    AppDelegate(AwakeEngine &engine, SupportChannel &support, Options options,
                QObject *parent = nullptr);
    ~AppDelegate() override;

    // Launch and lifecycle
    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    bool applicationShouldTerminateAfterLastWindowClosed() const;
    bool applicationShouldHandleReopen(bool hasVisibleWindows);
    bool windowShouldClose(QWidget *window);
    bool isMenuBarMode() const;
    void buildMenu();
    QMenu *buildStatusMenu();
    void applyDisplayMode();
    void showOnboardingIfNeeded();
    void buildMainWindow();
    QWidget *buildMainView();
    QWidget *buildSettingsView();
    void refreshAwakeUI();

    // The parts, for the tests and main().
    MainWindow *mainWindow() const { return m_mainWindow.get(); }
    HomeView *homeView() const { return m_homeView; }
    // Made the first time the settings are shown; null until then.
    SettingsPage *settingsPage() const { return m_settingsPage; }
    StatusMenuBuilder &menus() const { return *m_menus; }
    StatusItemController &statusController() const { return *m_statusController; }
    DisplayMode &displayMode() const { return *m_displayMode; }
    SupportUi &supportUi() const { return *m_supportUi; }
    Updater &updater() const { return *m_updater; }
    PowerRules &powerRules() const { return *m_powerRules; }

public slots:
    void awakePressed();
    void showMainWindow();
    void showSettings();
    void showMain();
    void closeOrBack();
    void setDuration(QAction *item);
    void setCustomDurationFromMenu(QAction *item);
    void askCustomDuration();
    void toggleMenuBarMode(bool on);
    void durationChanged(int index);
    void toggleKeepDisplay(bool on);
    void toggleAutoUpdates(bool on);
    void toggleLoginItem(bool on);
    void statusColorChanged(int tag);
    void openPlenox();
    void checkForUpdates();
    void reportProblemPressed();
    void showMessages();
    void showPendingMessage();
    void sendReply();
    void syncWithServer();
    void refreshMessageBadges();

private:
    void connectMenus();
    void hookEngine();
    void refreshTrayMenu();
    void showMessageMarkers();
    SettingsPage &ensureSettingsPage();

    AwakeEngine &m_engine;
    const bool m_installCrashReporter;
    std::unique_ptr<StatusItemController> m_statusController;
    std::unique_ptr<StatusMenuBuilder> m_menus;
    std::unique_ptr<DisplayMode> m_displayMode;
    std::unique_ptr<SupportUi> m_supportUi;
    std::unique_ptr<Updater> m_updater;
    std::unique_ptr<LoginItem> m_loginItem;
    std::unique_ptr<PowerSource> m_powerSource;
    std::unique_ptr<Notifier> m_notifier;
    std::unique_ptr<PowerRules> m_powerRules;
    std::unique_ptr<PeriodNotices> m_periodNotices;
    std::unique_ptr<MainWindow> m_mainWindow;
    QPointer<HomeView> m_homeView;
    QPointer<SettingsPage> m_settingsPage;
};
