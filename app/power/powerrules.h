// SPDX-License-Identifier: MIT
#pragma once

#include "powersource.h"

#include <QObject>

#include <optional>

class AwakeEngine;

// Lets the machine sleep by the user's power rules: a running period ends when the machine
// leaves mains power ("VLSleepOnBattery"), or when on battery its charge falls below the
// chosen limit ("VLSleepBelowPercent"). Each rule acts on the change that makes it true, never
// again while it stays true, so a period the user starts afterwards runs. A period a rule ended
// comes back with the time it had left once mains power returns, when "VLResumeOnMains" says so.
// Settings are read at each change; the engine alone holds and releases.
class PowerRules : public QObject
{
    Q_OBJECT

public:
    enum class Rule { OnBattery, LowBattery };

    PowerRules(AwakeEngine &engine, PowerSource &source, QObject *parent = nullptr);

    // Whether the rules can act on this machine: it has a battery the system reports on.
    bool isAvailable() const { return m_source.state().hasBattery; }

signals:
    // After a rule has stopped the engine.
    void periodEnded(PowerRules::Rule rule, int percent);

private:
    struct Paused
    {
        std::optional<qint64> msecsLeft; // none: the period was unlimited
        bool keepDisplayAwake = false;
    };

    void sourceChanged();
    bool isLow(const PowerSource::State &state) const;
    void end(Rule rule, int percent);
    void resume();

    AwakeEngine &m_engine;
    PowerSource &m_source;
    std::optional<PowerSource::State> m_last;
    std::optional<Paused> m_paused;
};
