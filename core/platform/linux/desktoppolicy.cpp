// SPDX-License-Identifier: MIT
#include "desktoppolicy.h"

#include <QFile>

#include <algorithm>

namespace {

using Desktop = DesktopPolicy::Desktop;
using Service = InhibitGrant::Service;
using Step = DesktopPolicy::Step;
using Type = PowerAssertions::Type;

constexpr quint32 suspend = DesktopPolicy::suspendFlag;
constexpr quint32 idle = DesktopPolicy::idleFlag;

struct Row
{
    Desktop desktop;
    QList<Step> system;
    QList<Step> display;
};

// GNOME's session manager answers flag 4 by taking logind's "sleep" block lock, which stops the
// user's own suspend too; flag 8 takes none and also holds off idle suspend, at the price of the
// screen. Its forks and the portal (which forwards to it) get flag 8 for the same reason.
const QList<Step> gnomeSystem { { Service::GnomeSession, idle, true },
                                { Service::Portal, idle, true },
                                { Service::PowerManagement },
                                { Service::Logind } };
const QList<Step> gnomeDisplay { { Service::GnomeSession, idle, true },
                                 { Service::Portal, idle, true },
                                 { Service::ScreenSaver },
                                 { Service::Logind } };

// Where a screensaver service exists it is the one that blanks; the session manager's idle
// flag is the next best.
const QList<Step> screenSaverFirst { { Service::ScreenSaver },
                                     { Service::GnomeSession, idle, true },
                                     { Service::Portal, idle, true },
                                     { Service::Logind } };

const QList<Row> &table()
{
    static const QList<Row> rows {
        { Desktop::Gnome, gnomeSystem, gnomeDisplay },
        { Desktop::Cinnamon, gnomeSystem, gnomeDisplay },
        { Desktop::Budgie, gnomeSystem, gnomeDisplay },
        // powerdevil's inhibition holds suspend only; the Plasma session owns the screensaver.
        { Desktop::Kde,
          { { Service::PowerManagement }, { Service::Portal, suspend }, { Service::Logind } },
          { { Service::ScreenSaver }, { Service::Portal, idle, true }, { Service::Logind } } },
        // xfce4-power-manager's inhibition also stops the screen from blanking.
        { Desktop::Xfce,
          { { Service::PowerManagement, 0, true },
            { Service::Portal, idle, true },
            { Service::Logind } },
          { { Service::ScreenSaver },
            { Service::PowerManagement, 0, true },
            { Service::Portal, idle, true },
            { Service::Logind } } },
        // mate-session answers flag 4 without any logind lock.
        { Desktop::Mate,
          { { Service::GnomeSession, suspend },
            { Service::PowerManagement },
            { Service::Portal, idle, true },
            { Service::Logind } },
          screenSaverFirst },
        { Desktop::Lxqt,
          { { Service::PowerManagement }, { Service::Portal, idle, true }, { Service::Logind } },
          { { Service::ScreenSaver }, { Service::PowerManagement }, { Service::Logind } } },
        // wlroots idle daemons honour logind's idle lock, which holds off blanking as well;
        // their portals answer Inhibit without doing anything.
        { Desktop::Wlroots, { { Service::Logind, 0, true } }, { { Service::Logind, 0, true } } },
        { Desktop::Other,
          { { Service::GnomeSession, idle, true },
            { Service::PowerManagement },
            { Service::Portal, idle, true },
            { Service::Logind } },
          screenSaverFirst },
    };
    return rows;
}

const QList<std::pair<QString, Desktop>> &names()
{
    static const QList<std::pair<QString, Desktop>> known {
        { "GNOME", Desktop::Gnome },         { "UNITY", Desktop::Gnome },
        { "PANTHEON", Desktop::Gnome },      { "KDE", Desktop::Kde },
        { "XFCE", Desktop::Xfce },           { "MATE", Desktop::Mate },
        { "X-CINNAMON", Desktop::Cinnamon }, { "CINNAMON", Desktop::Cinnamon },
        { "BUDGIE", Desktop::Budgie },       { "LXQT", Desktop::Lxqt },
        { "SWAY", Desktop::Wlroots },        { "HYPRLAND", Desktop::Wlroots },
        { "WLROOTS", Desktop::Wlroots },     { "RIVER", Desktop::Wlroots },
        { "WAYFIRE", Desktop::Wlroots },     { "LABWC", Desktop::Wlroots },
        { "NIRI", Desktop::Wlroots },
    };
    return known;
}

} // namespace

DesktopPolicy::DesktopPolicy(Desktop desktop, bool sandboxed)
    : m_desktop(desktop)
    , m_sandboxed(sandboxed)
{ }

DesktopPolicy::Desktop DesktopPolicy::desktopFrom(const QString &currentDesktop)
{
    // The most specific entry that we know decides ("Budgie:GNOME" is Budgie).
    for (const QString &entry : currentDesktop.toUpper().split(u':', Qt::SkipEmptyParts)) {
        for (const auto &[name, desktop] : names()) {
            if (entry == name)
                return desktop;
        }
    }
    return Desktop::Other;
}

DesktopPolicy DesktopPolicy::current()
{
    return DesktopPolicy(desktopFrom(qEnvironmentVariable("XDG_CURRENT_DESKTOP")),
                         QFile::exists(QStringLiteral("/.flatpak-info")));
}

QList<DesktopPolicy::Step> DesktopPolicy::steps(Type type) const
{
    QList<Step> steps;
    for (const Row &row : table()) {
        if (row.desktop == m_desktop)
            steps = type == Type::PreventUserIdleSystemSleep ? row.system : row.display;
    }
    // Inside a sandbox the portal is the sanctioned way out, so it is asked first.
    const auto portal = std::find_if(steps.begin(), steps.end(), [](const Step &step) {
        return step.service == Service::Portal;
    });
    if (m_sandboxed && portal != steps.end())
        std::rotate(steps.begin(), portal, portal + 1);
    return steps;
}
