#pragma once

#include "badgeimageview.h"
#include "launcherbadge.h"
#include "loginitem.h"
#include "mainwindow.h"
#include "updater.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QSize>
#include <QTimer>

#include <memory>

class AwakeEngine;
class MessagesWindow;
class QMenu;
class StatusItemController;
class SupportChannel;

// The program's one application object: it runs the start-up sequence, owns the main window,
// the menus and the tray icon, and every user action of the shell is one of its slots. The
// engine reports every change through one handler, which redraws everything from its state;
// actions that start or stop the engine never redraw by themselves.
//
// The implementation is split by concern: launch and lifecycle (appdelegate.cpp), menus
// (appdelegatemenus.cpp), display mode and onboarding (appdelegatedisplaymode.cpp), and the
// main window with its home view (appdelegatemainwindow.cpp).
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
    };

    AppDelegate(AwakeEngine &engine, SupportChannel &support, Options options,
                QObject *parent = nullptr);
    ~AppDelegate() override;

    static constexpr QSize winSize { 430, 665 };

    // Launch and lifecycle
    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    bool applicationShouldTerminateAfterLastWindowClosed() const;
    bool applicationShouldHandleReopen(bool hasVisibleWindows);
    bool windowShouldClose(QWidget *window);
    bool isMenuBarMode() const;

    // Menus
    void buildMenu();
    QMenu *buildStatusMenu();

    // Display mode and onboarding
    void applyDisplayMode();
    void showOnboardingIfNeeded();

    // Main window
    void buildMainWindow();
    QWidget *buildMainView();
    QWidget *buildSettingsView();
    void fillMainWindow(QWidget *view);
    bool autoUpdatesEnabled() const;
    bool loginItemEnabled() const;
    void refreshAwakeUI();

    // What the windows and menus hold, for the tests and the other parts of the shell.
    MainWindow *mainWindow() const { return m_mainWindow.get(); }
    QWidget *mainView() const { return m_mainView; }
    // Made on the first showSettings(); null until then.
    QWidget *settingsView() const { return m_settingsView; }
    QPushButton *awakeButton() const { return m_awakeButton; }
    QLabel *awakeStatusLabel() const { return m_awakeStatusLabel; }
    // What holds the machine, or that nothing can: one line under the home column.
    QLabel *holdLabel() const { return m_holdLabel; }
    QPushButton *messagesButton() const { return m_messagesButton; }
    BadgeImageView *messagesBadge() const { return m_messagesBadge; }
    QMenuBar *mainMenu() const { return m_mainMenu.get(); }
    QAction *appMessagesItem() const { return m_appMessagesItem; }
    QCheckBox *menuBarCheckbox() const { return m_menuBarCheckbox; }
    QCheckBox *loginCheckbox() const { return m_loginCheckbox; }
    QCheckBox *autoUpdateCheckbox() const { return m_autoUpdateCheckbox; }
    QComboBox *durationMenu() const { return m_durationMenu; }
    QComboBox *colorMenu() const { return m_colorMenu; }
    StatusItemController &statusController() const { return *m_statusController; }
    MessagesWindow *messagesWindow() const { return m_messagesWindow.get(); }
    LauncherBadge &launcherBadge() const { return *m_launcherBadge; }
    Updater &updater() const { return *m_updater; }
    QTimer *hourlyTimer() const { return m_hourlyTimer; }

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
    void hookEngine();
    void startHourlyTimer();
    void applyDebugSwitch();
    void setTaskbarPresence(bool present);
    void bringMainWindowForward();
    void fillApplicationMenu(QMenu *menu);
    void addEditMenu(QMenuBar *bar);
    void addDurationItems(QMenu *menu);
    void addShortcutsToMainWindow();
    QWidget *buildHomeColumn();
    void buildCornerButtons(QWidget *root);
    void buildHoldLabel(QWidget *root);
    QString holdLine() const;
    void startCustomDuration();
    void buildDurationCard(QWidget *page);
    void buildOptionsCards(QWidget *page);
    void buildColorMenu(QWidget *page);
    void buildSettingsButtons(QWidget *page);
    void buildAboutBlock(QWidget *page);
    void applyCustomDuration(qint64 hours, qint64 minutes);
    void reselectDefaultDuration();

    AwakeEngine &m_engine;
    SupportChannel &m_support;
    Options m_options;
    std::unique_ptr<StatusItemController> m_statusController;
    std::unique_ptr<LauncherBadge> m_launcherBadge;
    std::unique_ptr<Updater> m_updater;
    std::unique_ptr<LoginItem> m_loginItem;
    std::unique_ptr<MessagesWindow> m_messagesWindow;
    std::unique_ptr<MainWindow> m_mainWindow;
    std::unique_ptr<QMenuBar> m_mainMenu;
    QPointer<QWidget> m_mainView;
    QPointer<QWidget> m_settingsView;
    QPointer<QPushButton> m_awakeButton;
    QPointer<QLabel> m_awakeStatusLabel;
    QPointer<QLabel> m_holdLabel;
    QPointer<QPushButton> m_messagesButton;
    QPointer<BadgeImageView> m_messagesBadge;
    QPointer<QAction> m_appMessagesItem;
    QPointer<QCheckBox> m_menuBarCheckbox;
    QPointer<QCheckBox> m_loginCheckbox;
    QPointer<QCheckBox> m_autoUpdateCheckbox;
    QPointer<QComboBox> m_durationMenu;
    QPointer<QComboBox> m_colorMenu;
    QPointer<QTimer> m_hourlyTimer;
};
