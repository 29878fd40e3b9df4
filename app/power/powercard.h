// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

class PowerSource;
class QCheckBox;
class QComboBox;
class QLabel;

// The "Power" card of the settings page: the two power rules, resuming on mains, and the end of
// period notices. Every control acts at once and is stored. The rule controls work only where
// the system reports a battery; elsewhere they are greyed and a line says why, and they follow
// the power source as it comes and goes.
class PowerCard : public QWidget
{
    Q_OBJECT

public:
    static constexpr QSize cardSize { 382, 108 };

    explicit PowerCard(PowerSource &source, QWidget *parent = nullptr);

    QCheckBox *batteryCheckbox() const { return m_battery; }
    QCheckBox *resumeCheckbox() const { return m_resume; }
    QComboBox *belowMenu() const { return m_below; }
    QCheckBox *notifyCheckbox() const { return m_notify; }
    QLabel *unavailableLine() const { return m_unavailable; }

private:
    void buildRuleRows();
    void showAvailability();

    PowerSource &m_source;
    QCheckBox *m_battery = nullptr;
    QCheckBox *m_resume = nullptr;
    QLabel *m_belowLabel = nullptr;
    QComboBox *m_below = nullptr;
    QCheckBox *m_notify = nullptr;
    QLabel *m_unavailable = nullptr;
};
