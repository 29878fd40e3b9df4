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
//
// start() returns at once: the engine is active as soon as some service can be asked, while
// the request may still be in flight. If every service then refuses or never answers, the
// engine goes idle as if the refusal had come at once (the same log line, one notification)
// and wasRefused() tells the shell. A late refusal of the display assertion only clears it.
// Who holds the system assertion is holder(); its changes reach the hold-change handler.
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
    // True after the last start() was refused everywhere, until the next start() or stop().
    bool wasRefused() const { return m_refused; }
    std::optional<PowerAssertions::Holder> holder() const;
    void setOnHoldChange(std::function<void()> handler) { m_onHoldChange = std::move(handler); }
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
    void refusedLater(quint32 id);
    void refuse(qint32 code);

    std::unique_ptr<PowerAssertions> m_assertions;
    Clock &m_clock;
    quint32 m_systemId = 0;
    quint32 m_displayId = 0;
    bool m_systemOn = false;
    bool m_displayOn = false;
    bool m_refused = false;
    std::unique_ptr<Clock::Ticker> m_tick;
    std::optional<QDateTime> m_endDate;
    std::function<void()> m_onChange;
    std::function<void()> m_onHoldChange;
};
