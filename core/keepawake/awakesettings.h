// SPDX-License-Identifier: MIT
#pragma once

#include "settingkeys.h"

#include <QColor>
#include <QList>
#include <QString>

#include <optional>

// The keep-awake preferences: default and custom duration, the tray icon's tint and the
// keep-display switch. Nothing is cached: every read asks the defaults store, so a value
// written anywhere in the program is seen by the next read. Reads never fail; a missing or
// mistyped entry reads as its default, and durations are clamped as documented below.
class AwakeSettings
{
public:
    struct StatusColor
    {
        QString titre;
        QString hex;
    };

    // 99 h 59 min, what the dialog can express
    static constexpr int maximumCustomMinutes = int(SettingKeys::customMinutes.maximum);
    static const QString defaultStatusColorHex;

    // Counts only when it is a preset or the current custom duration; otherwise unlimited (0).
    static int defaultMinutes();
    static void setDefaultMinutes(qint64 minutes);
    static int customMinutes();
    static void setCustomMinutes(qint64 minutes);
    static QString statusColorHex();
    static void setStatusColorHex(const QString &hex);
    static bool keepDisplayAwake();
    static void setKeepDisplayAwake(bool on);

    static const QList<StatusColor> &statusColors();
    static QString formatMinutes(qint64 minutes);
    static std::optional<QColor> colorFromHex(const QString &text);

    AwakeSettings() = delete;
};
