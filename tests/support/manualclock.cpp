// SPDX-License-Identifier: MIT
#include "manualclock.h"

std::unique_ptr<Clock::Ticker> ManualClock::startTicker(std::chrono::seconds interval,
                                                        std::function<void()> onTick)
{
    struct ManualTicker : Ticker
    {
        std::shared_ptr<Entry> entry;
        ~ManualTicker() override { entry->running = false; }
    };
    auto ticker = std::make_unique<ManualTicker>();
    ticker->entry = std::make_shared<Entry>(
        Entry { interval, m_now.addSecs(interval.count()), std::move(onTick) });
    m_entries.append(ticker->entry);
    return ticker;
}

void ManualClock::advance(std::chrono::milliseconds by)
{
    const QDateTime until = m_now.addMSecs(by.count());
    for (;;) {
        m_entries.removeIf([](const auto &entry) { return !entry->running; });
        std::shared_ptr<Entry> next;
        for (const auto &entry : std::as_const(m_entries)) {
            if (entry->due <= until && (!next || entry->due < next->due))
                next = entry;
        }
        if (!next)
            break;
        m_now = next->due;
        next->due = next->due.addMSecs(next->interval.count());
        next->onTick();
    }
    m_now = until;
}
