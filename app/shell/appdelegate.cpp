#include "appdelegate.h"

#include "awakeengine.h"
#include "crashreporter.h"
#include "defaultsstore.h"
#include "desktopidentity.h"
#include "launcherbadge.h"
#include "mainwindow.h"
#include "messageswindow.h"
#include "settingkeys.h"
#include "statusitemcontroller.h"

#include <QApplication>
#include <QCheckBox>
#include <QMenuBar>
#include <QTimer>

namespace {
constexpr std::chrono::hours serverSyncInterval { 1 };
} // namespace

AppDelegate::AppDelegate(AwakeEngine &engine, SupportChannel &support, Options options,
                         QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_support(support)
    , m_options(std::move(options))
    , m_statusController(std::make_unique<StatusItemController>())
    , m_launcherBadge(m_options.launcherBadge ? std::move(m_options.launcherBadge)
                                              : LauncherBadge::createPlatformDefault(
                                                  QString::fromLatin1(DesktopIdentity::desktopId)))
    , m_updater(m_options.updater ? std::move(m_options.updater) : std::make_unique<Updater>())
    , m_loginItem(m_options.loginItem ? std::move(m_options.loginItem)
                                      : LoginItem::createPlatformDefault())
{
    m_updater->start();
}

AppDelegate::~AppDelegate()
{
    m_engine.setOnChange({});
    m_engine.setOnHoldChange({});
    DefaultsStore::setSaveFailureListener({});
}

void AppDelegate::applicationDidFinishLaunching()
{
    if (m_options.installCrashReporter)
        CrashReporter::install();
    buildMenu();
    buildMainWindow();
    hookEngine();
    DefaultsStore::setSaveFailureListener([this](const QString &) { refreshAwakeUI(); });
    if (isMenuBarMode())
        m_statusController->enable(buildStatusMenu());
    else
        bringMainWindowForward();
    showOnboardingIfNeeded();
    refreshAwakeUI();
    syncWithServer();
    startHourlyTimer();
    m_updater->setUpdateCheckInterval(Updater::defaultInterval);
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
    SettingKeys::menuBarMode.write(true);
    if (m_menuBarCheckbox)
        m_menuBarCheckbox->setChecked(true);
    applyDisplayMode();
    return true;
}

// Menu-bar mode needs a tray to live in; without one the program stays a window.
bool AppDelegate::isMenuBarMode() const
{
    return m_options.trayAvailable && SettingKeys::menuBarMode.read();
}

void AppDelegate::hookEngine()
{
    QPointer<AppDelegate> self(this);
    const auto refresh = [self] {
        if (self)
            self->refreshAwakeUI();
    };
    m_engine.setOnChange(refresh);
    m_engine.setOnHoldChange(refresh);
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

void AppDelegate::checkForUpdates()
{
    m_updater->checkForUpdates();
}

bool AppDelegate::autoUpdatesEnabled() const
{
    return m_updater->automaticallyChecksForUpdates() && m_updater->automaticallyDownloadsUpdates();
}

void AppDelegate::toggleAutoUpdates(bool on)
{
    m_updater->setAutomaticallyChecksForUpdates(on);
    m_updater->setAutomaticallyDownloadsUpdates(on);
}

bool AppDelegate::loginItemEnabled() const
{
    return m_loginItem->isEnabled();
}

// On failure the box shows what the system really has, not what the user asked for.
void AppDelegate::toggleLoginItem(bool on)
{
    const bool enabled = m_loginItem->apply(on);
    if (m_loginCheckbox && m_loginCheckbox->isChecked() != enabled) {
        const QSignalBlocker blocker(m_loginCheckbox);
        m_loginCheckbox->setChecked(enabled);
    }
}
