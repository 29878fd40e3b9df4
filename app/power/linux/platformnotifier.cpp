// SPDX-License-Identifier: MIT
#include "freedesktopnotifier.h"
#include "portalnotifier.h"

#include <QFileInfo>

// Inside a Flatpak sandbox the notification server is out of reach; the portal is not.
std::unique_ptr<Notifier> Notifier::createPlatformDefault()
{
    if (QFileInfo::exists(QStringLiteral("/.flatpak-info")))
        return std::make_unique<PortalNotifier>();
    return std::make_unique<FreedesktopNotifier>();
}
