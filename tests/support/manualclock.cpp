#include "manualclock.h"

class ManualClock::ManualTicker : public Clock::Ticker
{
public:
    explicit ManualTicker(std::shared_ptr<Entry> entry)
        : m_entry(std::move(entry))
    { }
    ~ManualTicker() override { m_entry->running = false; }

private:
    std::shared_ptr<Entry> m_entry;
};

ManualClock::ManualClock(const QDateTime &start)
    : m_now(start)
{ }

std::unique_ptr<Clock::Ticker> ManualClock::startTicker(std::chrono::seconds interval,
                                                        std::function<void()> onTick)
{
    auto entry = std::make_shared<Entry>(
        Entry { interval, m_now.addSecs(interval.count()), std::move(onTick) });
    m_entries.append(entry);
    return std::make_unique<ManualTicker>(entry);
}

void ManualClock::advance(std::chrono::milliseconds by)
{
    const QDateTime until = m_now.addMSecs(by.count());
    while (fireNextDue(until)) { }
    m_now = until;
}

int ManualClock::runningTickers() const
{
    return int(std::count_if(m_entries.cbegin(), m_entries.cend(),
                             [](const auto &entry) { return entry->running; }));
}

bool ManualClock::fireNextDue(const QDateTime &until)
{
    m_entries.removeIf([](const auto &entry) { return !entry->running; });
    std::shared_ptr<Entry> next;
    for (const auto &entry : m_entries) {
        if (entry->due <= until && (!next || entry->due < next->due))
            next = entry;
    }
    if (!next)
        return false;
    m_now = next->due;
    next->due = next->due.addMSecs(next->interval.count());
    next->onTick();
    return true;
}
