// SPDX-License-Identifier: MIT
#include "unitylauncherbadge.h"

std::unique_ptr<LauncherBadge> LauncherBadge::createPlatformDefault(const QString &desktopId)
{
    return std::make_unique<UnityLauncherBadge>(desktopId);
}
