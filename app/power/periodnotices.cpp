// SPDX-License-Identifier: MIT
#include "periodnotices.h"

#include "awakesettings.h"
#include "localisation.h"
#include "settingkeys.h"

PeriodNotices::PeriodNotices(AwakeEngine &engine, Notifier &notifier, PowerRules &rules,
                             QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_notifier(notifier)
{
    m_engine.setOnPeriodEnd([this](AwakeEngine::PeriodEnd why) { periodEnded(why); });
    connect(&rules, &PowerRules::periodEnded, this, &PeriodNotices::ruleEnded);
    connect(&m_notifier, &Notifier::actionInvoked, this, &PeriodNotices::actionInvoked);
}

PeriodNotices::~PeriodNotices()
{
    m_engine.setOnPeriodEnd({});
}

// A stop is the user's own or a rule's, which tells of itself; a refusal shows in the window.
void PeriodNotices::periodEnded(AwakeEngine::PeriodEnd why)
{
    if (why != AwakeEngine::PeriodEnd::Expired)
        return;
    show({ L("notice.period_over_title"),
           L("notice.period_over_body"),
           { { moreKey, L("notice.keep_awake_more") } } },
         true);
}

void PeriodNotices::ruleEnded(PowerRules::Rule rule, int percent)
{
    if (rule == PowerRules::Rule::OnBattery)
        show({ L("notice.on_battery_title"), L("notice.on_battery_body"), {} }, false);
    else
        show({ L(QStringLiteral("notice.low_battery_title"), qint64(percent)),
               L("notice.low_battery_body"),
               {} },
             false);
}

void PeriodNotices::show(const Notifier::Notice &notice, bool offersMore)
{
    if (!SettingKeys::notifyPeriodEnd.read())
        return;
    m_offersMore = offersMore;
    m_notifier.show(notice);
}

void PeriodNotices::actionInvoked(const QString &key)
{
    if (key != moreKey || !m_offersMore)
        return;
    m_offersMore = false;
    // A period started since then only gets longer.
    if (m_engine.isActive())
        m_engine.extend(moreMinutes);
    else
        m_engine.start(moreMinutes, AwakeSettings::keepDisplayAwake());
}
