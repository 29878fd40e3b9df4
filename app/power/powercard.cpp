// SPDX-License-Identifier: MIT
#include "powercard.h"

#include "cardview.h"
#include "localisation.h"
#include "powersource.h"
#include "settingkeys.h"
#include "uikit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

namespace {
QCheckBox *addCheckbox(QWidget *card, const char *key, const SettingKeys::Flag &flag, int x, int y)
{
    auto *box = new QCheckBox(L(key), card);
    box->setChecked(flag.read());
    box->adjustSize();
    box->move(x, y);
    QObject::connect(box, &QCheckBox::toggled, box, [flag](bool on) { flag.write(on); });
    return box;
}

QLabel *addLabel(QWidget *card, const QString &text, qreal size, const DynamicColor &color, int x,
                 int middle)
{
    QLabel *label = UiKit::makeLabel(text, size, QFont::Normal, color);
    label->setParent(card);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->adjustSize();
    label->move(x, middle - label->height() / 2);
    return label;
}
} // namespace

PowerCard::PowerCard(PowerSource &source, QWidget *parent)
    : QWidget(parent)
    , m_source(source)
{
    resize(cardSize);
    setAccessibleName(L("settings.power_title"));
    (new CardView(this))->setGeometry(rect());
    buildRuleRows();
    m_notify
        = addCheckbox(this, "settings.notify_period_end", SettingKeys::notifyPeriodEnd, 16, 68);
    m_unavailable
        = addLabel(this, L("settings.power_unavailable"), 11, UiKit::secondaryLabel(), 16, 97);
    connect(&m_source, &PowerSource::changed, this, &PowerCard::showAvailability);
    connect(m_battery, &QCheckBox::toggled, this, &PowerCard::showAvailability);
    showAvailability();
}

void PowerCard::buildRuleRows()
{
    m_battery = addCheckbox(this, "settings.sleep_on_battery", SettingKeys::sleepOnBattery, 16, 4);
    m_resume = addCheckbox(this, "settings.resume_on_mains", SettingKeys::resumeOnMains, 36, 24);
    m_belowLabel = addLabel(this, L("settings.sleep_below"), 13,
                            DynamicColor::paletteRole(QPalette::WindowText), 16, 56);
    m_below = new QComboBox(this);
    m_below->setGeometry(cardSize.width() - 16 - 100, 45, 100, 22);
    for (const qint64 percent : SettingKeys::sleepBelowSteps)
        m_below->addItem(percent ? L(QStringLiteral("settings.percent_format"), percent)
                                 : L("settings.sleep_below_off"),
                         percent);
    m_below->setCurrentIndex(m_below->findData(SettingKeys::sleepBelowPercent.read()));
    connect(m_below, &QComboBox::activated, this, [this](int index) {
        SettingKeys::sleepBelowPercent.write(m_below->itemData(index).toLongLong());
    });
}

void PowerCard::showAvailability()
{
    const bool available = m_source.state().hasBattery;
    m_battery->setEnabled(available);
    m_resume->setEnabled(available && m_battery->isChecked());
    m_belowLabel->setEnabled(available);
    m_below->setEnabled(available);
    m_unavailable->setVisible(!available);
}
