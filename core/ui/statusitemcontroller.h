// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QMenu>
#include <QObject>
#include <QPointer>

#include <memory>
#include <optional>

class QSystemTrayIcon;

// The program's cup in the panel's tray: created and removed with the display mode, carrying
// the status menu the shell builds (replaced whole, never edited in place). Idle, the cup is
// outlined in the panel's text colour; awake, it is filled and tinted in the user's colour
// (or in the text colour when no tint is chosen). The tooltip shows the awake status.
// Each state change brings a whole new menu; the tray shows its items.
class StatusItemController : public QObject
{
    Q_OBJECT

public:
    struct Appearance
    {
        bool filled = false;
        std::optional<QColor> tint; // none: drawn in the panel's text colour
    };

    explicit StatusItemController(QObject *parent = nullptr);
    ~StatusItemController() override;

    // Whether this desktop shows tray icons at all.
    static bool isTrayAvailable();

    bool isEnabled() const { return m_trayIcon != nullptr; }
    bool isActive() const { return m_active; }
    void enable(QMenu *menu);
    void disable();
    void setActive(bool active);
    void setStatusText(const QString &text);

    QString toolTip() const;
    // The menu built last; its items are what the tray shows.
    QMenu *menu() const { return m_menu; }
    QMenu *trayMenu() const { return m_trayMenu.get(); }
    Appearance appearance() const;
    QSystemTrayIcon *trayIcon() const { return m_trayIcon.get(); }

signals:
    void clicked();

private:
    void refreshIcon();
    void replaceMenu(QMenu *menu);

    std::unique_ptr<QSystemTrayIcon> m_trayIcon;
    // Handed to the tray once: replacing a tray's menu frees its D-Bus menu object while the
    // panel may still have calls to it on their way, so each new menu lends it its items.
    std::unique_ptr<QMenu> m_trayMenu;
    QPointer<QMenu> m_menu;
    bool m_active = false;
    QString m_statusText;
};
