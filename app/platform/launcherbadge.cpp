// SPDX-License-Identifier: MIT
#include "launcherbadge.h"

void LauncherBadge::setCount(std::optional<int> count)
{
    if (m_published && count == m_count)
        return;
    m_published = true;
    m_count = count;
    publish(count);
}
