// SPDX-License-Identifier: MIT
#pragma once

#include "launcherbadge.h"

#include <QString>

// The badge as the Unity launcher API has it, which the KDE Plasma task manager and the common
// docks follow: a com.canonical.Unity.LauncherEntry.Update signal on the session bus naming the
// program by its application URI. Qt has no API for it, so the signal is built by hand. Without a
// session bus the badge simply shows nowhere.
class UnityLauncherBadge : public LauncherBadge
{
public:
    explicit UnityLauncherBadge(const QString &desktopId);

protected:
    void publish(std::optional<int> count) override;

private:
    QString m_appUri;
    QString m_objectPath;
};
