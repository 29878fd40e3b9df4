// SPDX-License-Identifier: MIT
#pragma once

#include "clock.h"

#include <QList>

#include <algorithm>
#include <memory>

// A clock that moves only when the test says so. advance() fires each running ticker once for
// every interval that elapses, in order, the way a real timer would have.
class ManualClock : public Clock
{
public:
    explicit ManualClock(const QDateTime &start
                         = QDateTime(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC))
        : m_now(start)
    { }

    QDateTime now() const override { return m_now; }
    std::unique_ptr<Ticker> startTicker(std::chrono::seconds interval,
                                        std::function<void()> onTick) override;
    void advance(std::chrono::milliseconds by);
    int runningTickers() const { return int(std::ranges::count(m_entries, true, &Entry::running)); }

private:
    struct Entry
    {
        std::chrono::milliseconds interval;
        QDateTime due;
        std::function<void()> onTick;
        bool running = true;
    };

    QDateTime m_now;
    QList<std::shared_ptr<Entry>> m_entries;
};
