// SPDX-License-Identifier: MIT
#include "statusitemcontroller.h"

#include "awakesettings.h"
#include "dynamiccolor.h"
#include "localisation.h"
#include "symbolicon.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>

namespace {
const QString outlinedCup = QStringLiteral(":/icons/cup-outline.svg");
const QString filledCup = QStringLiteral(":/icons/cup-filled.svg");

// Panels ignore mask icons, so the plain cup takes the text colour of the current theme.
QColor panelTextColor()
{
    return DynamicColor::isDark(QApplication::palette()) ? QColor(0xF2, 0xF2, 0xF2)
                                                         : QColor(0x1F, 0x1F, 0x1F);
}
} // namespace

StatusItemController::StatusItemController(QObject *parent)
    : QObject(parent)
{ }

StatusItemController::~StatusItemController()
{
    disable();
}

bool StatusItemController::isTrayAvailable()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void StatusItemController::enable(QMenu *menu)
{
    if (!m_trayIcon) {
        m_trayIcon = std::make_unique<QSystemTrayIcon>();
        m_trayMenu = std::make_unique<QMenu>();
        m_trayIcon->setContextMenu(m_trayMenu.get());
        connect(m_trayIcon.get(), &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::Trigger)
                        emit clicked();
                });
    }
    replaceMenu(menu);
    refreshIcon();
    m_trayIcon->show();
}

void StatusItemController::disable()
{
    if (m_trayIcon)
        m_trayIcon->hide();
    m_trayIcon.reset();
    m_trayMenu.reset();
    replaceMenu(nullptr);
}

void StatusItemController::setActive(bool active)
{
    m_active = active;
    refreshIcon();
}

void StatusItemController::setStatusText(const QString &text)
{
    m_statusText = text;
    if (m_trayIcon)
        m_trayIcon->setToolTip(toolTip());
}

QString StatusItemController::toolTip() const
{
    // Panels read the tooltip to screen-reader users too: name the icon, then say the state.
    const QString name = L(QStringLiteral("accessibility.status_icon"));
    return m_statusText.isEmpty() ? name : name + u'\n' + m_statusText;
}

StatusItemController::Appearance StatusItemController::appearance() const
{
    if (!m_active)
        return {};
    return { true, AwakeSettings::colorFromHex(AwakeSettings::statusColorHex()) };
}

void StatusItemController::refreshIcon()
{
    if (!m_trayIcon)
        return;
    const Appearance look = appearance();
    m_trayIcon->setIcon(SymbolIcon::make(look.filled ? filledCup : outlinedCup,
                                         look.tint.value_or(panelTextColor())));
    m_trayIcon->setToolTip(toolTip());
}

void StatusItemController::replaceMenu(QMenu *menu)
{
    // The old menu may be the one whose item is being handled right now: let it finish first.
    if (m_menu && m_menu != menu)
        m_menu->deleteLater();
    m_menu = menu;
    if (!m_trayMenu)
        return;
    m_trayMenu->clear();
    if (menu)
        m_trayMenu->addActions(menu->actions());
}
