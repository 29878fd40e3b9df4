// SPDX-License-Identifier: MIT
#include "powerrules.h"

#include "awakeengine.h"
#include "settingkeys.h"

PowerRules::PowerRules(AwakeEngine &engine, PowerSource &source, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_source(source)
{
    connect(&m_source, &PowerSource::changed, this, &PowerRules::sourceChanged);
}

// The first report only sets where things stand: nothing has changed yet.
void PowerRules::sourceChanged()
{
    const PowerSource::State now = m_source.state();
    const std::optional<PowerSource::State> before = std::exchange(m_last, now);
    if (!now.hasBattery || !before || !before->hasBattery)
        return;
    if (now.onBattery && !before->onBattery && SettingKeys::sleepOnBattery.read())
        end(Rule::OnBattery, 0);
    else if (isLow(now) && !isLow(*before))
        end(Rule::LowBattery, int(SettingKeys::sleepBelowPercent.read()));
    else if (!now.onBattery && before->onBattery)
        resume();
}

bool PowerRules::isLow(const PowerSource::State &state) const
{
    const qint64 limit = SettingKeys::sleepBelowPercent.read();
    return limit > 0 && state.onBattery && state.percentage < double(limit);
}

void PowerRules::end(Rule rule, int percent)
{
    if (!m_engine.isActive())
        return;
    const std::optional<QDateTime> end = m_engine.endDate();
    // A guest's hold cannot be given back: only a period of the user's own is kept.
    if (m_engine.guestNames().isEmpty())
        m_paused
            = Paused { end ? std::optional(m_engine.clock().now().msecsTo(*end)) : std::nullopt,
                       m_engine.isDisplayHeld() };
    m_engine.stop();
    emit periodEnded(rule, percent);
}

// Whatever the user started in between wins over the paused period.
void PowerRules::resume()
{
    const std::optional<Paused> paused = std::exchange(m_paused, std::nullopt);
    if (!paused || m_engine.isActive() || !SettingKeys::sleepOnBattery.read()
        || !SettingKeys::resumeOnMains.read())
        return;
    if (paused->msecsLeft)
        m_engine.startUntil(m_engine.clock().now().addMSecs(*paused->msecsLeft),
                            paused->keepDisplayAwake);
    else
        m_engine.start(0, paused->keepDisplayAwake);
}
