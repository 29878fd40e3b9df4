// SPDX-License-Identifier: MIT
#include "appdelegate.h"

#include "awakeengine.h"
#include "awakesettings.h"
#include "crashreporter.h"
#include "customdurationdialog.h"
#include "defaultsstore.h"
#include "desktopidentity.h"
#include "displaymode.h"
#include "homeview.h"
#include "localisation.h"
#include "settingspage.h"
#include "statusitemcontroller.h"
#include "statusmenubuilder.h"
#include "supportui.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenuBar>

namespace {
template<typename Part>
std::unique_ptr<Part> given(std::unique_ptr<Part> part, std::unique_ptr<Part> (*platformDefault)())
{
    return part ? std::move(part) : platformDefault();
}

std::unique_ptr<LauncherBadge> platformBadge()
{
    return LauncherBadge::createPlatformDefault(QString::fromLatin1(DesktopIdentity::desktopId));
}

std::unique_ptr<Updater> programUpdater()
{
    return std::make_unique<Updater>();
}
} // namespace

AppDelegate::AppDelegate(AwakeEngine &engine, SupportChannel &support, Options options,
                         QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_installCrashReporter(options.installCrashReporter)
    , m_statusController(std::make_unique<StatusItemController>())
    , m_menus(std::make_unique<StatusMenuBuilder>(engine, support))
    , m_displayMode(std::make_unique<DisplayMode>(*m_statusController, options.trayAvailable,
                                                  [this] { return buildStatusMenu(); }))
    , m_supportUi(std::make_unique<SupportUi>(
          support, given(std::move(options.launcherBadge), &platformBadge)))
    , m_updater(given(std::move(options.updater), &programUpdater))
    , m_loginItem(given(std::move(options.loginItem), &LoginItem::createPlatformDefault))
    , m_powerSource(given(std::move(options.powerSource), &PowerSource::createPlatformDefault))
    , m_notifier(given(std::move(options.notifier), &Notifier::createPlatformDefault))
    , m_powerRules(std::make_unique<PowerRules>(engine, *m_powerSource))
    , m_periodNotices(std::make_unique<PeriodNotices>(engine, *m_notifier, *m_powerRules))
{
    connectMenus();
    connect(m_displayMode.get(), &DisplayMode::windowRestored, this,
            &AppDelegate::refreshMessageBadges);
    connect(m_supportUi.get(), &SupportUi::markersChanged, this, &AppDelegate::showMessageMarkers);
    m_updater->start();
}

AppDelegate::~AppDelegate()
{
    m_engine.setOnChange({});
    m_engine.setOnHoldChange({});
    DefaultsStore::setSaveFailureListener({});
}

void AppDelegate::connectMenus()
{
    StatusMenuBuilder *menus = m_menus.get();
    connect(menus, &StatusMenuBuilder::awakeToggleRequested, this, &AppDelegate::awakePressed);
    connect(menus, &StatusMenuBuilder::durationChosen, this, &AppDelegate::setDuration);
    connect(menus, &StatusMenuBuilder::customDurationChosen, this,
            &AppDelegate::setCustomDurationFromMenu);
    connect(menus, &StatusMenuBuilder::openAppRequested, this, &AppDelegate::showMainWindow);
    connect(menus, &StatusMenuBuilder::messagesRequested, this, &AppDelegate::showMessages);
    connect(menus, &StatusMenuBuilder::checkForUpdatesRequested, this,
            &AppDelegate::checkForUpdates);
    connect(menus, &StatusMenuBuilder::reportProblemRequested, this,
            &AppDelegate::reportProblemPressed);
    connect(menus, &StatusMenuBuilder::closeRequested, this, &AppDelegate::closeOrBack);
}

void AppDelegate::applicationDidFinishLaunching()
{
    if (m_installCrashReporter)
        CrashReporter::install();
    buildMenu();
    buildMainWindow();
    hookEngine();
    DefaultsStore::setSaveFailureListener([this](const QString &) { refreshAwakeUI(); });
    if (isMenuBarMode())
        m_statusController->enable(buildStatusMenu());
    else
        m_displayMode->bringWindowForward();
    showOnboardingIfNeeded();
    refreshAwakeUI();
    syncWithServer();
    m_supportUi->startHourlySync();
    m_updater->setUpdateCheckInterval(Updater::defaultInterval);
    if (qEnvironmentVariable("PLENOX_DEBUG_SETTINGS") == QLatin1String("1"))
        showSettings();
}

void AppDelegate::applicationWillTerminate()
{
    m_engine.stop();
}

bool AppDelegate::applicationShouldTerminateAfterLastWindowClosed() const
{
    return m_displayMode->shouldTerminateAfterLastWindowClosed();
}

bool AppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows)
{
    if (!hasVisibleWindows && !isMenuBarMode())
        showMainWindow();
    return true;
}

bool AppDelegate::windowShouldClose(QWidget *window)
{
    return m_displayMode->windowShouldClose(window);
}

bool AppDelegate::isMenuBarMode() const
{
    return m_displayMode->isMenuBarMode();
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

void AppDelegate::buildMenu()
{
    m_menus->buildMenuBar();
}

QMenu *AppDelegate::buildStatusMenu()
{
    return m_menus->buildTrayMenu();
}

void AppDelegate::refreshTrayMenu()
{
    if (m_statusController->isEnabled())
        m_statusController->enable(buildStatusMenu());
}

void AppDelegate::applyDisplayMode()
{
    m_displayMode->apply();
}

void AppDelegate::showOnboardingIfNeeded()
{
    m_displayMode->showOnboardingIfNeeded();
}

void AppDelegate::buildMainWindow()
{
    m_mainWindow = std::make_unique<MainWindow>();
    m_mainWindow->setWindowTitle(L("app.name"));
    m_mainWindow->setCloseHandler([this] { return windowShouldClose(m_mainWindow.get()); });
    connect(m_mainWindow.get(), &MainWindow::closed, this, [this] {
        if (applicationShouldTerminateAfterLastWindowClosed())
            QCoreApplication::quit();
    });
    m_mainWindow->setHomePage(buildMainView());
    m_menus->addShortcutsTo(m_mainWindow.get());
    m_displayMode->setWindow(m_mainWindow.get());
    m_supportUi->setMainWindow(m_mainWindow.get());
    if (!isMenuBarMode())
        m_displayMode->bringWindowForward();
    m_displayMode->setTaskbarPresence(!isMenuBarMode());
}

QWidget *AppDelegate::buildMainView()
{
    m_homeView = new HomeView(m_engine);
    connect(m_homeView, &HomeView::settingsRequested, this, &AppDelegate::showSettings);
    connect(m_homeView, &HomeView::messagesRequested, this, &AppDelegate::showMessages);
    return m_homeView;
}

QWidget *AppDelegate::buildSettingsView()
{
    auto *page
        = new SettingsPage(m_engine, *m_updater, *m_loginItem, *m_displayMode, *m_powerSource);
    connect(page, &SettingsPage::backRequested, this, &AppDelegate::showMain);
    connect(page, &SettingsPage::customDurationRequested, this, &AppDelegate::askCustomDuration);
    connect(page, &SettingsPage::reportProblemRequested, this, &AppDelegate::reportProblemPressed);
    connect(page, &SettingsPage::statusColorChosen, this, &AppDelegate::refreshAwakeUI);
    return page;
}

// The settings page is made the first time it is asked for: most launches never show it, and
// making it would delay the main window.
SettingsPage &AppDelegate::ensureSettingsPage()
{
    if (!m_settingsPage) {
        m_settingsPage = static_cast<SettingsPage *>(buildSettingsView());
        if (m_mainWindow)
            m_mainWindow->addPage(m_settingsPage);
    }
    return *m_settingsPage;
}

void AppDelegate::refreshAwakeUI()
{
    if (m_homeView)
        m_homeView->refresh();
    const QString status = m_engine.statusText();
    const QString hold = HomeView::holdLine(m_engine);
    m_statusController->setActive(m_engine.isActive());
    m_statusController->setStatusText(hold.isEmpty() ? status : status + u'\n' + hold);
    refreshTrayMenu();
}

void AppDelegate::showMessageMarkers()
{
    if (m_homeView)
        m_homeView->showMessageMarkers(m_supportUi->isOpen(), m_supportUi->hasUnread());
    if (QAction *item = m_menus->messagesItem())
        item->setVisible(m_supportUi->isOpen());
    refreshTrayMenu();
}

void AppDelegate::awakePressed()
{
    if (m_homeView)
        m_homeView->toggleAwake();
}

void AppDelegate::showMainWindow()
{
    m_displayMode->bringWindowForward();
    refreshMessageBadges();
}

void AppDelegate::showSettings()
{
    if (!m_mainWindow)
        return;
    m_mainWindow->showPage(&ensureSettingsPage());
    m_settingsPage->refreshLoginItem();
}

void AppDelegate::showMain()
{
    if (m_mainWindow)
        m_mainWindow->showHomePage();
}

void AppDelegate::closeOrBack()
{
    if (m_mainWindow)
        m_mainWindow->closeOrBack();
}

void AppDelegate::setDuration(QAction *item)
{
    m_engine.start(item->data().toInt(), AwakeSettings::keepDisplayAwake());
}

void AppDelegate::setCustomDurationFromMenu(QAction *)
{
    if (AwakeSettings::customMinutes() <= 0)
        askCustomDuration();
    if (const int minutes = AwakeSettings::customMinutes(); minutes > 0)
        m_engine.start(minutes, AwakeSettings::keepDisplayAwake());
}

void AppDelegate::askCustomDuration()
{
    const bool stored = CustomDurationDialog::run();
    if (m_settingsPage)
        m_settingsPage->showStoredDuration();
    if (stored)
        refreshTrayMenu();
}

void AppDelegate::toggleMenuBarMode(bool on)
{
    m_displayMode->setMenuBarMode(on);
}

void AppDelegate::durationChanged(int index)
{
    ensureSettingsPage().chooseDuration(index);
}

void AppDelegate::toggleKeepDisplay(bool on)
{
    ensureSettingsPage().setKeepDisplay(on);
}

void AppDelegate::toggleAutoUpdates(bool on)
{
    ensureSettingsPage().setAutoUpdates(on);
}

void AppDelegate::toggleLoginItem(bool on)
{
    ensureSettingsPage().setLoginItem(on);
}

void AppDelegate::statusColorChanged(int tag)
{
    ensureSettingsPage().chooseStatusColor(tag);
}

void AppDelegate::openPlenox()
{
    SettingsPage::openWebsite();
}

void AppDelegate::checkForUpdates()
{
    m_updater->checkForUpdates();
}

void AppDelegate::reportProblemPressed()
{
    m_supportUi->reportProblem();
}

void AppDelegate::showMessages()
{
    m_supportUi->showMessages();
}

void AppDelegate::showPendingMessage()
{
    m_supportUi->showPendingMessage();
}

void AppDelegate::sendReply()
{
    m_supportUi->sendReply();
}

void AppDelegate::syncWithServer()
{
    m_supportUi->syncWithServer();
}

void AppDelegate::refreshMessageBadges()
{
    m_supportUi->refreshMarkers();
}
