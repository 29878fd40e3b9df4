// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class MainWindow;
class QMenu;
class StatusItemController;

// Whether the program lives in the taskbar as a window or in the panel's tray: the stored choice,
// the first launch's question, the tray icon and the window's taskbar entry that follow it, and
// what closing the window means. Menu-bar mode needs a tray to live in; without one the program
// stays a window whatever is stored.
class DisplayMode : public QObject
{
    Q_OBJECT

public:
    // statusMenu makes the tray's menu each time the tray icon is put up.
    DisplayMode(StatusItemController &statusItem, bool trayAvailable,
                std::function<QMenu *()> statusMenu, QObject *parent = nullptr);

    void setWindow(MainWindow *window) { m_window = window; }
    bool isTrayAvailable() const { return m_trayAvailable; }
    bool isMenuBarMode() const;
    void setMenuBarMode(bool on);
    void apply();
    void showOnboardingIfNeeded();
    // Closing the window in window mode moves the program to the tray, when there is one.
    bool windowShouldClose(QWidget *window);
    bool shouldTerminateAfterLastWindowClosed() const { return !isMenuBarMode(); }
    void bringWindowForward();
    void setTaskbarPresence(bool present);

signals:
    // The stored mode changed by something else than the settings page's box.
    void menuBarModeChanged(bool on);
    // The window is back in front in window mode, after the window manager settled its type.
    void windowRestored();

private:
    void store(bool menuBar);

    StatusItemController &m_statusItem;
    bool m_trayAvailable;
    std::function<QMenu *()> m_statusMenu;
    QPointer<MainWindow> m_window;
};
