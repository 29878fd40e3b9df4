// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <memory>
#include <optional>

// The number on the program's taskbar or dock entry (the Dock tile badge on macOS). setCount()
// hands the desktop only real changes, plus the very first state so that a badge left over from
// an earlier run is corrected; callers may therefore refresh as often as they like. One
// implementation per operating system, picked by the build, and an in-memory one for tests.
class LauncherBadge
{
public:
    virtual ~LauncherBadge() = default;

    // A count to show, or none to show no badge at all.
    void setCount(std::optional<int> count);
    // What was last handed to the desktop; none before the first setCount().
    std::optional<int> count() const { return m_count; }

    // The implementation for the operating system the program was built for, for the desktop
    // entry `desktopId` (without ".desktop").
    static std::unique_ptr<LauncherBadge> createPlatformDefault(const QString &desktopId);

protected:
    virtual void publish(std::optional<int> count) = 0;

private:
    bool m_published = false;
    std::optional<int> m_count;
};
