// SPDX-License-Identifier: MIT
#include "awakesettings.h"

#include "awakeengine.h"
#include "localisation.h"
#include "settingkeys.h"

#include <algorithm>

namespace {

bool isPreset(qint64 minutes)
{
    const auto &presets = AwakeEngine::durations();
    return std::any_of(presets.cbegin(), presets.cend(),
                       [minutes](const AwakeEngine::Duration &d) { return d.minutes == minutes; });
}

bool isTrimmable(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

QString trimmedSpacesAndTabs(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isTrimmable(text.at(begin)))
        ++begin;
    while (end > begin && isTrimmable(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

bool isAsciiHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}
} // namespace

const QString AwakeSettings::defaultStatusColorHex
    = QString::fromLatin1(SettingKeys::statusColor.fallback);

int AwakeSettings::defaultMinutes()
{
    const qint64 stored = SettingKeys::defaultMinutes.read();
    if (isPreset(stored))
        return int(stored);
    if (stored < 1)
        return 0;
    const qint64 custom = SettingKeys::customMinutes.stored().value_or(0);
    if (custom < 1)
        return 0;
    return stored == SettingKeys::customMinutes.clamped(custom) ? int(stored) : 0;
}

void AwakeSettings::setDefaultMinutes(qint64 minutes)
{
    SettingKeys::defaultMinutes.write(minutes);
}

int AwakeSettings::customMinutes()
{
    return int(SettingKeys::customMinutes.read());
}

void AwakeSettings::setCustomMinutes(qint64 minutes)
{
    SettingKeys::customMinutes.write(minutes);
}

QString AwakeSettings::statusColorHex()
{
    return SettingKeys::statusColor.read();
}

void AwakeSettings::setStatusColorHex(const QString &hex)
{
    SettingKeys::statusColor.write(hex);
}

bool AwakeSettings::keepDisplayAwake()
{
    return SettingKeys::keepDisplay.read();
}

void AwakeSettings::setKeepDisplayAwake(bool on)
{
    SettingKeys::keepDisplay.write(on);
}

const QList<AwakeSettings::StatusColor> &AwakeSettings::statusColors()
{
    static const QList<StatusColor> colors {
        { L(QStringLiteral("settings.color_system")), QString() },
        { L(QStringLiteral("settings.color_mauve")), defaultStatusColorHex },
        { L(QStringLiteral("settings.color_amber")), QStringLiteral("#F59E0B") },
        { L(QStringLiteral("settings.color_green")), QStringLiteral("#22C55E") },
        { L(QStringLiteral("settings.color_blue")), QStringLiteral("#3B82F6") },
        { L(QStringLiteral("settings.color_red")), QStringLiteral("#E11D48") },
    };
    return colors;
}

QString AwakeSettings::formatMinutes(qint64 minutes)
{
    const qint64 hours = minutes / 60;
    const qint64 rest = minutes - 60 * hours;
    if (minutes >= -59 && minutes <= 59)
        return L(QStringLiteral("awake.custom_minutes_short"), minutes);
    if (rest == 0)
        return L(QStringLiteral("awake.custom_hours_short"), hours);
    return L(QStringLiteral("awake.custom_hours_minutes_short"), hours, rest);
}

std::optional<QColor> AwakeSettings::colorFromHex(const QString &text)
{
    QString digits = trimmedSpacesAndTabs(text);
    if (digits.isEmpty())
        return std::nullopt;
    if (digits.startsWith(u'#'))
        digits.remove(0, 1);
    if (digits.size() != 6 || !std::all_of(digits.cbegin(), digits.cend(), isAsciiHexDigit))
        return std::nullopt;
    const uint value = digits.toUInt(nullptr, 16);
    return QColor::fromRgbF(float(((value >> 16) & 0xFF) / 255.0),
                            float(((value >> 8) & 0xFF) / 255.0), float((value & 0xFF) / 255.0),
                            1.0f);
}
