// SPDX-License-Identifier: MIT
#pragma once

#include "launcherbadge.h"

#include <QList>

// Keeps what would have reached the desktop, in order, so widget tests can read the badge.
class MemoryLauncherBadge : public LauncherBadge
{
public:
    const QList<std::optional<int>> &published() const { return m_published; }

protected:
    void publish(std::optional<int> count) override;

private:
    QList<std::optional<int>> m_published;
};
