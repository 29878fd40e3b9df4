#include "awakeengine.h"

#include "localisation.h"
#include "systemlog.h"

#include <QCoreApplication>

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
    releaseAll();
    m_refused = false;
    const PowerAssertions::Result system
        = m_assertions->create(PowerAssertions::Type::PreventUserIdleSystemSleep,
                               L(QStringLiteral("awake.assertion_reason_sleep")));
    if (!system.ok()) {
        refuse(system.code);
        return;
    }
    m_systemId = system.id;
    m_systemOn = true;
    if (keepDisplayAwake)
        createDisplayAssertion();
    if (minutes > 0)
        m_endDate = m_clock.now().addSecs(minutes * 60);
    m_tick = m_clock.startTicker(tickInterval, [this] { checkExpiry(); });
    notify();
}

void AwakeEngine::stop()
{
    releaseAll();
    m_refused = false;
    notify();
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
        m_systemOn = false; // already gone: nothing to release
        releaseAll();
        refuse(PowerAssertions::unsupported);
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
    m_endDate.reset();
    m_tick.reset();
}

void AwakeEngine::checkExpiry()
{
    if (m_endDate && m_clock.now().msecsTo(*m_endDate) <= 0)
        releaseAll();
    notify();
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
}
