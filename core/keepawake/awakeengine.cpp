// SPDX-License-Identifier: MIT
#include "awakeengine.h"

#include "localisation.h"
#include "systemlog.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

namespace {
constexpr std::chrono::seconds tickInterval { 60 };

std::unique_ptr<AwakeEngine> &sharedInstance()
{
    static std::unique_ptr<AwakeEngine> instance;
    return instance;
}

void dropSharedInstance()
{
    sharedInstance().reset();
}
} // namespace

AwakeEngine::AwakeEngine(std::unique_ptr<PowerAssertions> assertions, Clock &clock)
    : m_assertions(std::move(assertions))
    , m_clock(clock)
{
    m_assertions->setHandlers({ [this](quint32 id) { refusedLater(id); },
                                [this] {
                                    if (m_onHoldChange)
                                        m_onHoldChange();
                                } });
}

AwakeEngine::~AwakeEngine()
{
    releaseAll();
}

AwakeEngine &AwakeEngine::shared()
{
    auto &instance = sharedInstance();
    if (!instance) {
        instance = std::make_unique<AwakeEngine>(PowerAssertions::createPlatformDefault());
        // Let go while the application (and its bus connections) still exist.
        qAddPostRoutine(dropSharedInstance);
    }
    return *instance;
}

const QList<AwakeEngine::Duration> &AwakeEngine::durations()
{
    static const QList<Duration> presets {
        { L(QStringLiteral("awake.duration_unlimited")), 0 },
        { L(QStringLiteral("awake.duration_30_min")), 30 },
        { L(QStringLiteral("awake.duration_1_hour")), 60 },
        { L(QStringLiteral("awake.duration_2_hours")), 120 },
        { L(QStringLiteral("awake.duration_4_hours")), 240 },
    };
    return presets;
}

void AwakeEngine::start(qint64 minutes, bool keepDisplayAwake)
{
    startPeriod(minutes > 0 ? std::optional(m_clock.now().addSecs(minutes * 60)) : std::nullopt,
                keepDisplayAwake);
}

void AwakeEngine::startUntil(const QDateTime &end, bool keepDisplayAwake)
{
    startPeriod(end, keepDisplayAwake);
}

void AwakeEngine::startPeriod(std::optional<QDateTime> end, bool keepDisplayAwake)
{
    releaseAll();
    m_refused = false;
    if (!hold(keepDisplayAwake))
        return;
    m_periodOn = true;
    m_endDate = end;
    m_tick = m_clock.startTicker(tickInterval, [this] { checkExpiry(); });
    notify();
}

// Takes the system assertion, and the display one when asked; false (refused) without it.
bool AwakeEngine::hold(bool keepDisplayAwake)
{
    if (!m_systemOn) {
        const PowerAssertions::Result system
            = m_assertions->create(PowerAssertions::Type::PreventUserIdleSystemSleep,
                                   L(QStringLiteral("awake.assertion_reason_sleep")));
        if (!system.ok()) {
            endGuests();
            refuse(system.code);
            return false;
        }
        m_systemId = system.id;
        m_systemOn = true;
    }
    if (keepDisplayAwake && !m_displayOn)
        createDisplayAssertion();
    return true;
}

bool AwakeEngine::extend(qint64 minutes)
{
    if (!m_periodOn || !m_endDate || minutes < 1)
        return false;
    const QDateTime latest = m_clock.now().addSecs(longestMinutes * 60);
    m_endDate = std::min(m_endDate->addSecs(minutes * 60), latest);
    notify();
    return true;
}

quint32 AwakeEngine::addGuest(const QString &name, bool keepDisplayAwake)
{
    m_refused = false;
    if (!hold(keepDisplayAwake))
        return 0;
    const quint32 id = m_nextGuest++;
    m_guests.insert(id, name);
    notify();
    return id;
}

void AwakeEngine::removeGuest(quint32 id)
{
    if (!m_guests.remove(id))
        return;
    if (m_guests.isEmpty() && !m_periodOn)
        releaseAll();
    notify();
}

// Every guest ends with the hold; each is told once.
void AwakeEngine::endGuests()
{
    const QList<quint32> ended = m_guests.keys();
    m_guests.clear();
    if (m_onGuestEnd) {
        for (const quint32 id : ended)
            m_onGuestEnd(id);
    }
}

void AwakeEngine::stop()
{
    const bool wasOn = m_periodOn;
    releaseAll();
    endGuests();
    m_refused = false;
    notify();
    periodEnded(wasOn, PeriodEnd::Stopped);
}

void AwakeEngine::periodEnded(bool wasOn, PeriodEnd why)
{
    if (wasOn && m_onPeriodEnd)
        m_onPeriodEnd(why);
}

std::optional<PowerAssertions::Holder> AwakeEngine::holder() const
{
    return m_systemOn ? m_assertions->holder(m_systemId) : std::nullopt;
}

void AwakeEngine::refuse(qint32 code)
{
    SystemLog::write(QStringLiteral("Veluna: création d'assertion échouée (%1)").arg(code));
    m_refused = true;
    notify();
}

void AwakeEngine::refusedLater(quint32 id)
{
    if (m_displayOn && id == m_displayId) {
        m_displayOn = false;
    } else if (m_systemOn && id == m_systemId) {
        const bool wasOn = m_periodOn;
        m_systemOn = false; // already gone: nothing to release
        releaseAll();
        endGuests();
        refuse(PowerAssertions::unsupported);
        periodEnded(wasOn, PeriodEnd::Refused);
    }
}

void AwakeEngine::setDisplayAwake(bool on)
{
    if (!m_systemOn)
        return;
    if (!on && m_displayOn) {
        m_assertions->release(m_displayId);
        m_displayOn = false;
    } else if (on && !m_displayOn) {
        createDisplayAssertion();
    }
}

QString AwakeEngine::statusText() const
{
    if (!m_systemOn)
        return L(QStringLiteral("awake.status_normal"));
    if (!m_guests.isEmpty() && (!m_periodOn || m_endDate))
        return L(QStringLiteral("awake.status_while"), m_guests.last());
    if (!m_endDate)
        return L(QStringLiteral("awake.status_unlimited"));
    const double seconds = m_clock.now().msecsTo(*m_endDate) / 1000.0;
    const qint64 minutes = std::max<qint64>(0, std::llround(seconds / 60.0));
    if (minutes >= 60)
        return L(QStringLiteral("awake.status_hours_format"), minutes / 60, minutes % 60);
    return L(QStringLiteral("awake.status_minutes_format"), minutes);
}

void AwakeEngine::releaseAll()
{
    if (m_systemOn) {
        m_assertions->release(m_systemId);
        m_systemOn = false;
    }
    if (m_displayOn) {
        m_assertions->release(m_displayId);
        m_displayOn = false;
    }
    m_periodOn = false;
    m_endDate.reset();
    m_tick.reset();
}

void AwakeEngine::checkExpiry()
{
    const bool expired = m_endDate && m_clock.now().msecsTo(*m_endDate) <= 0;
    if (expired)
        endPeriod();
    notify();
    periodEnded(expired, PeriodEnd::Expired);
}

// The guests' hold outlives the period.
void AwakeEngine::endPeriod()
{
    if (m_guests.isEmpty()) {
        releaseAll();
        return;
    }
    m_periodOn = false;
    m_endDate.reset();
    m_tick.reset();
}

bool AwakeEngine::createDisplayAssertion()
{
    const PowerAssertions::Result display
        = m_assertions->create(PowerAssertions::Type::PreventUserIdleDisplaySleep,
                               L(QStringLiteral("awake.assertion_reason_display")));
    if (!display.ok())
        return false;
    m_displayId = display.id;
    m_displayOn = true;
    return true;
}

void AwakeEngine::notify()
{
    if (m_onChange)
        m_onChange();
    if (m_controlListener)
        m_controlListener();
}
