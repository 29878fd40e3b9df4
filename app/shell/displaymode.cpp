// SPDX-License-Identifier: MIT
#include "displaymode.h"

#include "alert.h"
#include "localisation.h"
#include "mainwindow.h"
#include "settingkeys.h"
#include "statusitemcontroller.h"

#include <QTimer>

namespace {
bool askForMenuBarMode()
{
    Alert alert;
    alert.setMessageText(L("onboarding.welcome_title"));
    alert.setInformativeText(L("onboarding.welcome_message"));
    alert.addButton(L("onboarding.dock_button"));
    alert.addButton(L("onboarding.menubar_button"));
    return alert.runModal() == Alert::SecondButton;
}
} // namespace

DisplayMode::DisplayMode(StatusItemController &statusItem, bool trayAvailable,
                         std::function<QMenu *()> statusMenu, QObject *parent)
    : QObject(parent)
    , m_statusItem(statusItem)
    , m_trayAvailable(trayAvailable)
    , m_statusMenu(std::move(statusMenu))
{ }

bool DisplayMode::isMenuBarMode() const
{
    return m_trayAvailable && SettingKeys::menuBarMode.read();
}

void DisplayMode::setMenuBarMode(bool on)
{
    SettingKeys::menuBarMode.write(on);
    apply();
}

void DisplayMode::store(bool menuBar)
{
    SettingKeys::menuBarMode.write(menuBar);
    emit menuBarModeChanged(isMenuBarMode());
    apply();
}

void DisplayMode::apply()
{
    if (isMenuBarMode()) {
        m_statusItem.enable(m_statusMenu());
        setTaskbarPresence(false);
        // The window manager settles the new window type first; then bring the window up.
        QTimer::singleShot(0, this, [this] { bringWindowForward(); });
        return;
    }
    m_statusItem.disable();
    setTaskbarPresence(true);
    QTimer::singleShot(0, this, [this] {
        bringWindowForward();
        emit windowRestored();
    });
}

void DisplayMode::showOnboardingIfNeeded()
{
    if (SettingKeys::onboarded.read())
        return;
    SettingKeys::onboarded.write(true);
    // Without a tray there is nothing to choose: the program stays a window.
    store(m_trayAvailable && askForMenuBarMode());
}

bool DisplayMode::windowShouldClose(QWidget *window)
{
    // Without a tray, menu-bar mode would leave the program unreachable: stay a plain window.
    if (!window || window != m_window || isMenuBarMode() || !m_trayAvailable)
        return true;
    store(true);
    return true;
}

// In menu-bar mode the tray icon is the program's presence, so the window leaves the taskbar.
void DisplayMode::setTaskbarPresence(bool present)
{
    if (!m_window)
        return;
    const bool wasVisible = m_window->isVisible();
    const Qt::WindowFlags flags = m_window->windowFlags();
    const Qt::WindowFlags wanted = present ? (flags & ~Qt::Tool) | Qt::Window : flags | Qt::Tool;
    if (flags == wanted)
        return;
    m_window->setWindowFlags(wanted);
    if (wasVisible)
        m_window->show();
}

void DisplayMode::bringWindowForward()
{
    if (!m_window)
        return;
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}
