// SPDX-License-Identifier: MIT
#pragma once

#include "inhibitgrant.h"
#include "powerassertions.h"

#include <QList>
#include <QString>

// Which desktop service to ask for each kind of hold, best first, on each desktop: the one place
// that knows. A hold must stop idle suspend and leave the user's own suspend working; letting the
// screen blank comes third, and where a desktop's only call keeps the screen on too, the step
// says so. The evidence behind each row is in DESIGN.md, "Holding the machine awake".
class DesktopPolicy
{
public:
    enum class Desktop { Gnome, Kde, Xfce, Mate, Cinnamon, Budgie, Lxqt, Wlroots, Other };

    struct Step
    {
        InhibitGrant::Service service;
        // The session manager's and the portal's inhibit flags; unused by the other services.
        quint32 flags = 0;
        bool keepsScreenOn = false;
    };

    DesktopPolicy(Desktop desktop, bool sandboxed);

    // XDG_CURRENT_DESKTOP is a colon-separated list, most specific first ("ubuntu:GNOME").
    static Desktop desktopFrom(const QString &currentDesktop);
    static DesktopPolicy current();

    Desktop desktop() const { return m_desktop; }
    QList<Step> steps(PowerAssertions::Type type) const;

    // Bits of org.gnome.SessionManager.Inhibit and org.freedesktop.portal.Inhibit: 4 holds off
    // automatic suspend, 8 keeps the session from going idle (no blanking, no idle suspend).
    static constexpr quint32 suspendFlag = 4;
    static constexpr quint32 idleFlag = 8;

private:
    Desktop m_desktop;
    bool m_sandboxed;
};
