// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>

#include <limits>
#include <optional>
#include <span>

// Every key of the user's defaults in one table: its name, the type a read accepts, what a
// missing or mistyped entry reads as and, for numbers, the range reads and writes are clamped
// to. Everything that reads or writes a setting goes through these, so a key is spelt once.
namespace SettingKeys {
struct Flag
{
    const char *name;
    bool fallback;

    QString key() const { return QString::fromLatin1(name); }
    bool read() const;
    void write(bool on) const;
};

struct Integer
{
    static constexpr qint64 unbounded = std::numeric_limits<qint64>::max();

    const char *name;
    qint64 fallback;
    qint64 minimum = -unbounded;
    qint64 maximum = unbounded;

    QString key() const { return QString::fromLatin1(name); }
    // The stored integer as it is, or nothing when it is missing or of another type.
    std::optional<qint64> stored() const;
    qint64 clamped(qint64 value) const;
    qint64 read() const;
    void write(qint64 value) const;
};

// An integer that only takes the listed values, in ascending order: reads and writes clamp it
// to the range of the list, then down to the nearest listed value.
struct Choice
{
    const char *name;
    qint64 fallback;
    std::span<const qint64> values;

    QString key() const { return QString::fromLatin1(name); }
    qint64 clamped(qint64 value) const;
    qint64 read() const;
    void write(qint64 value) const;
};

struct Text
{
    const char *name;
    const char *fallback;

    QString key() const { return QString::fromLatin1(name); }
    std::optional<QString> stored() const;
    QString read() const;
    void write(const QString &text) const;
};

struct Date
{
    const char *name;

    QString key() const { return QString::fromLatin1(name); }
    std::optional<QDateTime> read() const;
    void write(const QDateTime &date) const;
};

// Lists and maps, whose owner checks each element as it reads them.
struct Value
{
    const char *name;

    QString key() const { return QString::fromLatin1(name); }
    QVariant read() const;
    void write(const QVariant &value) const;
};

// Display mode and first launch
inline constexpr Flag menuBarMode { "VLMenuBarMode", false };
inline constexpr Flag onboarded { "VLOnboarded", false };

// Keeping awake. The default duration counts only as a preset or the current custom duration.
inline constexpr Integer defaultMinutes { "VLDefaultMinutes", 0 };
inline constexpr Integer customMinutes { "VLCustomMinutes", 0, 0, 5999 }; // up to 99 h 59 min
inline constexpr Text statusColor { "VLStatusColor", "#7C3AED" };
inline constexpr Flag keepDisplay { "VLKeepDisplay", false };

// Power rules and notices; a charge limit of 0 leaves the charge out of it.
inline constexpr Flag sleepOnBattery { "VLSleepOnBattery", false };
inline constexpr Flag resumeOnMains { "VLResumeOnMains", false };
inline constexpr qint64 sleepBelowSteps[] { 0, 10, 20, 30, 50 };
inline constexpr Choice sleepBelowPercent { "VLSleepBelowPercent", 0, sleepBelowSteps };
inline constexpr Flag notifyPeriodEnd { "VLNotifyPeriodEnd", true };

// Updates, checked at most hourly and at least weekly
inline constexpr Flag updaterAutoCheck { "VLUpdaterAutoCheck", true };
inline constexpr Flag updaterAutoDownload { "VLUpdaterAutoDownload", false };
inline constexpr Integer updaterInterval { "VLUpdaterInterval", 3600, 3600, 7 * 24 * 3600 };
inline constexpr Date updaterLastCheck { "VLUpdaterLastCheck" };

// Support messages and crash reports
inline constexpr Value messageHistory { "VLMessageHistory" };
inline constexpr Value shownMessages { "VLShownMessages" };
inline constexpr Integer ackMessage { "VLAckMessage", 0 };
inline constexpr Date lastCrashScan { "VLLastCrashScan" };
// An empty stored identifier is kept as it is, so it has no fallback of its own.
inline constexpr Text deviceId { "VLDeviceId", "" };
} // namespace SettingKeys
