// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QVariantMap>

#include <optional>

// The settings file's format: one JSON object. Types survive a round trip: integers, booleans,
// strings, lists, maps, and dates (as {"$date": "<ISO 8601>"}). The reader refuses anything
// larger than maximumFileSize, so the writer's callers keep what they store below it.
namespace JsonSettingsFormat {
constexpr qint64 maximumFileSize = 4 * 1024 * 1024;

// The values, or nothing when the bytes are not a JSON object of at most maximumFileSize.
std::optional<QVariantMap> parse(const QByteArray &bytes);
QByteArray serialize(const QVariantMap &values);
// JSON has one number type: the value when it is a whole number a double holds exactly, nothing
// for "12", 12.5, 1e300 and anything else. Settings and server answers read integers alike.
std::optional<qint64> integerOf(const QJsonValue &value);
} // namespace JsonSettingsFormat
