#include "appdelegate.h"

#include "awakeengine.h"
#include "defaultsstore.h"
#include "mainwindow.h"
#include "statusitemcontroller.h"

#include <QApplication>
#include <QCheckBox>
#include <QMenuBar>
#include <QTimer>

namespace {
const QString menuBarModeKey = QStringLiteral("VLMenuBarMode");
constexpr std::chrono::hours serverSyncInterval { 1 };
} // namespace

AppDelegate::AppDelegate(AwakeEngine &engine, Options options, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_options(options)
    , m_statusController(std::make_unique<StatusItemController>())
{ }

AppDelegate::~AppDelegate()
{
    m_engine.setOnChange({});
}

void AppDelegate::applicationDidFinishLaunching()
{
    buildMenu();
    buildMainWindow();
    hookEngine();
    if (isMenuBarMode())
        m_statusController->enable(buildStatusMenu());
    else
        bringMainWindowForward();
    showOnboardingIfNeeded();
    refreshAwakeUI();
    syncWithServer();
    startHourlyTimer();
    applyDebugSwitch();
}

void AppDelegate::applicationWillTerminate()
{
    m_engine.stop();
}

bool AppDelegate::applicationShouldTerminateAfterLastWindowClosed() const
{
    return !isMenuBarMode();
}

bool AppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows)
{
    if (!hasVisibleWindows && !isMenuBarMode())
        showMainWindow();
    return true;
}

bool AppDelegate::windowShouldClose(QWidget *window)
{
    if (!window || window != m_mainWindow.get() || isMenuBarMode())
        return true;
    // Without a tray, menu-bar mode would leave the program unreachable: stay a plain window.
    if (!m_options.trayAvailable)
        return true;
    DefaultsStore::setValue(menuBarModeKey, true);
    if (m_menuBarCheckbox)
        m_menuBarCheckbox->setChecked(true);
    applyDisplayMode();
    return true;
}

// Menu-bar mode needs a tray to live in; without one the program stays a window.
bool AppDelegate::isMenuBarMode() const
{
    return m_options.trayAvailable && DefaultsStore::boolean(menuBarModeKey).value_or(false);
}

void AppDelegate::hookEngine()
{
    QPointer<AppDelegate> self(this);
    m_engine.setOnChange([self] {
        if (self)
            self->refreshAwakeUI();
    });
}

void AppDelegate::startHourlyTimer()
{
    m_hourlyTimer = new QTimer(this);
    m_hourlyTimer->setTimerType(Qt::VeryCoarseTimer);
    m_hourlyTimer->setInterval(serverSyncInterval);
    connect(m_hourlyTimer, &QTimer::timeout, this, &AppDelegate::syncWithServer);
    m_hourlyTimer->start();
}

void AppDelegate::applyDebugSwitch()
{
    if (qEnvironmentVariable("PLENOX_DEBUG_SETTINGS") == QLatin1String("1"))
        showSettings();
}

// Filled in with the message channel.
void AppDelegate::syncWithServer() { }
void AppDelegate::refreshMessageBadges() { }
void AppDelegate::showMessages() { }
void AppDelegate::reportProblemPressed() { }
// Filled in with the updater and the settings page.
void AppDelegate::checkForUpdates() { }

// Filled in with the updater and the login item.
bool AppDelegate::autoUpdatesEnabled() const
{
    return false;
}
bool AppDelegate::loginItemEnabled() const
{
    return false;
}
void AppDelegate::toggleAutoUpdates(bool) { }
void AppDelegate::toggleLoginItem(bool) { }
