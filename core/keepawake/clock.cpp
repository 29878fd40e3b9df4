// SPDX-License-Identifier: MIT
#include "clock.h"

#include <QTimer>

namespace {
// Coarse timers let the system batch our wake-ups with others: a minute tick may come a few
// seconds late, which costs the user nothing and saves power.
class SystemTicker : public Clock::Ticker
{
public:
    SystemTicker(std::chrono::seconds interval, std::function<void()> onTick)
        : m_timer(new QTimer)
    {
        m_timer->setTimerType(Qt::CoarseTimer);
        m_timer->setInterval(interval);
        QObject::connect(m_timer, &QTimer::timeout, std::move(onTick));
        m_timer->start();
    }

    // A tick may end the period and so destroy its own ticker: the timer must outlive the
    // signal it is emitting.
    ~SystemTicker() override
    {
        m_timer->stop();
        m_timer->disconnect();
        m_timer->deleteLater();
    }

private:
    QTimer *m_timer;
};

class SystemClock : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
    std::unique_ptr<Ticker> startTicker(std::chrono::seconds interval,
                                        std::function<void()> onTick) override
    {
        return std::make_unique<SystemTicker>(interval, std::move(onTick));
    }
};
} // namespace

Clock &Clock::system()
{
    static SystemClock instance;
    return instance;
}
