#include "appdelegate.h"

#include "alert.h"
#include "awakeengine.h"
#include "localisation.h"
#include "mainwindow.h"
#include "settingkeys.h"
#include "statusitemcontroller.h"

#include <QCheckBox>
#include <QTimer>

namespace {

bool askForMenuBarMode()
{
    Alert alert;
    alert.setMessageText(L(QStringLiteral("onboarding.welcome_title")));
    alert.setInformativeText(L(QStringLiteral("onboarding.welcome_message")));
    alert.addButton(L(QStringLiteral("onboarding.dock_button")));
    alert.addButton(L(QStringLiteral("onboarding.menubar_button")));
    return alert.runModal() == Alert::SecondButton;
}
} // namespace

void AppDelegate::applyDisplayMode()
{
    if (isMenuBarMode()) {
        m_statusController->enable(buildStatusMenu());
        m_statusController->setActive(m_engine.isActive());
        setTaskbarPresence(false);
        // The window manager settles the new window type first; then bring the window up.
        QTimer::singleShot(0, this, [this] { bringMainWindowForward(); });
        return;
    }
    m_statusController->disable();
    setTaskbarPresence(true);
    QTimer::singleShot(0, this, [this] {
        bringMainWindowForward();
        refreshMessageBadges();
    });
}

void AppDelegate::toggleMenuBarMode(bool on)
{
    SettingKeys::menuBarMode.write(on);
    applyDisplayMode();
}

void AppDelegate::showOnboardingIfNeeded()
{
    if (SettingKeys::onboarded.read())
        return;
    SettingKeys::onboarded.write(true);
    // Without a tray there is nothing to choose: the program stays a window.
    const bool menuBar = m_options.trayAvailable && askForMenuBarMode();
    SettingKeys::menuBarMode.write(menuBar);
    if (m_menuBarCheckbox)
        m_menuBarCheckbox->setChecked(isMenuBarMode());
    applyDisplayMode();
}

// In menu-bar mode the tray icon is the program's presence, so the window leaves the taskbar.
void AppDelegate::setTaskbarPresence(bool present)
{
    if (!m_mainWindow)
        return;
    const bool wasVisible = m_mainWindow->isVisible();
    const Qt::WindowFlags flags = m_mainWindow->windowFlags();
    const Qt::WindowFlags wanted = present ? (flags & ~Qt::Tool) | Qt::Window : flags | Qt::Tool;
    if (flags == wanted)
        return;
    m_mainWindow->setWindowFlags(wanted);
    if (wasVisible)
        m_mainWindow->show();
}

void AppDelegate::bringMainWindowForward()
{
    if (!m_mainWindow)
        return;
    m_mainWindow->show();
    m_mainWindow->raise();
    m_mainWindow->activateWindow();
}
