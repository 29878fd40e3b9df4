#pragma once

#include "clock.h"
#include "powerassertions.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

// Holds the machine awake for a period: one system assertion, optionally one display
// assertion, a once-a-minute ticker that ends timed periods, and one change handler that the
// shell redraws from. Every start, stop and tick notifies; display changes do not.
class AwakeEngine
{
public:
    struct Duration
    {
        QString titre;
        int minutes;
    };

    AwakeEngine(std::unique_ptr<PowerAssertions> assertions, Clock &clock = Clock::system());
    ~AwakeEngine();
    AwakeEngine(const AwakeEngine &) = delete;
    AwakeEngine &operator=(const AwakeEngine &) = delete;

    static AwakeEngine &shared();
    static const QList<Duration> &durations();

    bool isActive() const { return m_systemOn; }
    bool isDisplayHeld() const { return m_displayOn; }
    std::optional<QDateTime> endDate() const { return m_endDate; }
    const std::function<void()> &onChange() const { return m_onChange; }
    void setOnChange(std::function<void()> handler) { m_onChange = std::move(handler); }

    void start(qint64 minutes, bool keepDisplayAwake);
    void stop();
    void setDisplayAwake(bool on);
    QString statusText() const;

private:
    void releaseAll();
    void checkExpiry();
    bool createDisplayAssertion();
    void notify();

    std::unique_ptr<PowerAssertions> m_assertions;
    Clock &m_clock;
    quint32 m_systemId = 0;
    quint32 m_displayId = 0;
    bool m_systemOn = false;
    bool m_displayOn = false;
    std::unique_ptr<Clock::Ticker> m_tick;
    std::optional<QDateTime> m_endDate;
    std::function<void()> m_onChange;
};
