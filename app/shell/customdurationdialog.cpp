// SPDX-License-Identifier: MIT
#include "customdurationdialog.h"

#include "alert.h"
#include "awakesettings.h"
#include "localisation.h"
#include "twodigitformatter.h"
#include "uikit.h"

#include <QFontDatabase>
#include <QLabel>
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
    QLabel *label = UiKit::makeLabel(L(key), 12, QFont::Normal, UiKit::secondaryLabel());
    label->setParent(parent);
    label->adjustSize();
    label->move(x, 14 - label->height() / 2);
    return label;
}
} // namespace

bool CustomDurationDialog::run()
{
    const int custom = AwakeSettings::customMinutes();
    Alert alert;
    alert.setMessageText(L("settings.custom_label"));
    alert.setInformativeText(L("settings.custom_help"));
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
    alert.addButton(L("settings.custom_ok"));
    alert.addButton(L("settings.custom_cancel"));
    hours->setFocus();
    if (alert.runModal() != Alert::FirstButton)
        return false;
    const qint64 total = fieldValue(hours, 99) * 60 + fieldValue(minutes, 59);
    if (total <= 0)
        return false;
    AwakeSettings::setCustomMinutes(total);
    AwakeSettings::setDefaultMinutes(total);
    return true;
}
