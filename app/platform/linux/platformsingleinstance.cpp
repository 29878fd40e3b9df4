// SPDX-License-Identifier: MIT
#include "dbussingleinstance.h"

std::unique_ptr<SingleInstance> SingleInstance::createPlatformDefault(const QString &desktopId)
{
    return std::make_unique<DBusSingleInstance>(desktopId);
}
