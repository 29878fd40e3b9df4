// SPDX-License-Identifier: MIT
#pragma once

#include "awakeengine.h"
#include "notifier.h"
#include "powerrules.h"

#include <QObject>

// Tells the user when a period ends without them: one notice when a timed period runs out, with
// a button that keeps the machine awake 30 minutes more, and one when a power rule ends it,
// saying which rule, with no button that would undo the rule. A period the user stops ends
// silently, and "VLNotifyPeriodEnd" off silences them all.
class PeriodNotices : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 moreMinutes = 30;
    static inline const QString moreKey = QStringLiteral("keep-awake-more");

    PeriodNotices(AwakeEngine &engine, Notifier &notifier, PowerRules &rules,
                  QObject *parent = nullptr);
    ~PeriodNotices() override;

private:
    void periodEnded(AwakeEngine::PeriodEnd why);
    void ruleEnded(PowerRules::Rule rule, int percent);
    void show(const Notifier::Notice &notice, bool offersMore);
    void actionInvoked(const QString &key);

    AwakeEngine &m_engine;
    Notifier &m_notifier;
    bool m_offersMore = false; // the notice shown last has the button
};
