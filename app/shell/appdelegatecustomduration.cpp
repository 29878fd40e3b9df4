#include "appdelegate.h"

#include "alert.h"
#include "awakesettings.h"
#include "localisation.h"
#include "statusitemcontroller.h"
#include "twodigitformatter.h"
#include "uikit.h"

#include <QFontDatabase>
#include <QLineEdit>
#include <QRegularExpression>

#include <algorithm>
#include <optional>

namespace {
// A whole field of an optional sign and ASCII digits that fits 64 bits; anything else is not
// a number. The validators keep typing to two digits, but pasted or odd text must not count.
std::optional<qint64> wholeNumber(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^[+-]?[0-9]+$"));
    if (!pattern.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

qint64 fieldValue(const QLineEdit *field, qint64 maximum)
{
    const std::optional<qint64> value = wholeNumber(field->text());
    return value && *value > 0 ? std::min(*value, maximum) : 0;
}

QLineEdit *durationField(QWidget *parent, int x, qint64 value, qint64 maximum)
{
    auto *field = new QLineEdit(QString::number(value), parent);
    field->setGeometry(x, 2, 44, 24);
    field->setAlignment(Qt::AlignCenter);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(14);
    field->setFont(font);
    field->setValidator(new TwoDigitFormatter(maximum, field));
    return field;
}

QLabel *unitLabel(QWidget *parent, const char *key, int x)
{
    QLabel *label
        = UiKit::makeLabel(L(QString::fromLatin1(key)), 12, QFont::Normal, UiKit::secondaryLabel());
    label->setParent(parent);
    label->adjustSize();
    label->move(x, 14 - label->height() / 2);
    return label;
}
} // namespace

void AppDelegate::askCustomDuration()
{
    const int custom = AwakeSettings::customMinutes();
    Alert alert;
    alert.setMessageText(L(QStringLiteral("settings.custom_label")));
    alert.setInformativeText(L(QStringLiteral("settings.custom_help")));
    auto *accessory = new QWidget;
    QLineEdit *hours = durationField(accessory, 26, custom / 60, 99);
    hours->setObjectName(QStringLiteral("hoursField"));
    const QLabel *hoursUnit = unitLabel(accessory, "settings.custom_hours", 74);
    // Units differ in length between languages: the minutes field keeps clear of the label.
    QLineEdit *minutes = durationField(accessory, std::max(116, hoursUnit->geometry().right() + 9),
                                       custom % 60, 59);
    minutes->setObjectName(QStringLiteral("minutesField"));
    const QLabel *minutesUnit
        = unitLabel(accessory, "settings.custom_minutes", minutes->geometry().right() + 5);
    accessory->setFixedSize(std::max(220, minutesUnit->geometry().right() + 1), 28);
    alert.setAccessoryWidget(accessory);
    alert.addButton(L(QStringLiteral("settings.custom_ok")));
    alert.addButton(L(QStringLiteral("settings.custom_cancel")));
    hours->setFocus();
    if (alert.runModal() != Alert::FirstButton) {
        reselectDefaultDuration();
        return;
    }
    applyCustomDuration(fieldValue(hours, 99), fieldValue(minutes, 59));
}

void AppDelegate::applyCustomDuration(qint64 hours, qint64 minutes)
{
    const qint64 total = hours * 60 + minutes;
    if (total <= 0) {
        reselectDefaultDuration();
        return;
    }
    AwakeSettings::setCustomMinutes(total);
    AwakeSettings::setDefaultMinutes(total);
    if (m_durationMenu) {
        const int customEntry = m_durationMenu->count() - 1;
        m_durationMenu->setItemText(customEntry, AwakeSettings::formatMinutes(total));
        m_durationMenu->setItemData(customEntry, int(total));
        m_durationMenu->setCurrentIndex(m_durationMenu->findData(int(total)));
    }
    if (m_statusController->isEnabled())
        m_statusController->enable(buildStatusMenu());
}

void AppDelegate::reselectDefaultDuration()
{
    if (m_durationMenu)
        m_durationMenu->setCurrentIndex(m_durationMenu->findData(AwakeSettings::defaultMinutes()));
}
