// SPDX-License-Identifier: MIT
#include "memorylauncherbadge.h"

void MemoryLauncherBadge::publish(std::optional<int> count)
{
    m_published.append(count);
}
