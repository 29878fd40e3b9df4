// SPDX-License-Identifier: MIT
#pragma once

#include "clock.h"
#include "powerassertions.h"

#include <QDateTime>
#include <QList>
#include <QMap>
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
//
// Besides the period, guests may want the machine awake: a command that runs, a process being
// watched. The assertions are held while the period or any guest wants them; each ends on its
// own, a period that runs out leaves the guests' hold in place, and stop() ends the period and
// every guest (telling each through the guest-end handler). While a guest holds, nobody knows
// when the machine may sleep, so endDate() is empty and the status names the guest.
class AwakeEngine
{
public:
    struct Duration
    {
        QString titre;
        int minutes;
    };
    // Why a period ended: it ran out, stop() was called, or the hold was refused after all.
    enum class PeriodEnd { Expired, Stopped, Refused };

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
    std::optional<QDateTime> endDate() const
    {
        return m_guests.isEmpty() ? m_endDate : std::nullopt;
    }
    const std::function<void()> &onChange() const { return m_onChange; }
    void setOnChange(std::function<void()> handler) { m_onChange = std::move(handler); }
    // Told of every change after the shell's handler: the interface that scripts watch.
    void setControlListener(std::function<void()> listener)
    {
        m_controlListener = std::move(listener);
    }

    // Told once when a period ends, after the change handlers; not when start() replaces it.
    void setOnPeriodEnd(std::function<void(PeriodEnd)> handler)
    {
        m_onPeriodEnd = std::move(handler);
    }
    Clock &clock() const { return m_clock; }

    void start(qint64 minutes, bool keepDisplayAwake);
    // A period that ends at `end` (in the future) rather than after whole minutes.
    void startUntil(const QDateTime &end, bool keepDisplayAwake);
    // Moves the end of a timed period later, to at most the longest period from now; false
    // when no timed period runs.
    bool extend(qint64 minutes);
    void stop();

    // 0 when the machine cannot be held: the refusal is then the period's (logged, notified).
    quint32 addGuest(const QString &name, bool keepDisplayAwake);
    void removeGuest(quint32 id);
    QStringList guestNames() const { return m_guests.values(); }
    void setOnGuestEnd(std::function<void(quint32 id)> handler)
    {
        m_onGuestEnd = std::move(handler);
    }
    void setDisplayAwake(bool on);
    QString statusText() const;

    static constexpr qint64 longestMinutes = 99 * 60 + 59;

private:
    bool hold(bool keepDisplayAwake);
    void startPeriod(std::optional<QDateTime> end, bool keepDisplayAwake);
    void endGuests();
    void releaseAll();
    void checkExpiry();
    void endPeriod();
    bool createDisplayAssertion();
    void notify();
    void refusedLater(quint32 id);
    void refuse(qint32 code);
    void periodEnded(bool wasOn, PeriodEnd why);

    std::unique_ptr<PowerAssertions> m_assertions;
    Clock &m_clock;
    quint32 m_systemId = 0;
    quint32 m_displayId = 0;
    bool m_systemOn = false;
    bool m_displayOn = false;
    bool m_refused = false;
    bool m_periodOn = false;
    QMap<quint32, QString> m_guests;
    quint32 m_nextGuest = 1;
    std::unique_ptr<Clock::Ticker> m_tick;
    std::optional<QDateTime> m_endDate;
    std::function<void()> m_onChange;
    std::function<void()> m_controlListener;
    std::function<void()> m_onHoldChange;
    std::function<void(quint32)> m_onGuestEnd;
    std::function<void(PeriodEnd)> m_onPeriodEnd;
};
