#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>

#include <optional>

// The user's defaults: one JSON file in the user's config folder, shared by the whole process.
// Typed reads answer nothing when the key is absent or holds a value of another type, so a
// hand-edited or foreign value never turns into a surprising setting. Writes reach the disk
// at once.
namespace DefaultsStore {
QString filePath();
// Whether a stored value is an integer, the only kind the typed reads count as a number.
bool isInteger(const QVariant &value);

QVariant value(const QString &key);
std::optional<qint64> integer(const QString &key);
std::optional<bool> boolean(const QString &key);
std::optional<QString> string(const QString &key);
std::optional<QDateTime> date(const QString &key);

void setValue(const QString &key, const QVariant &value);
void remove(const QString &key);
// Forgets every key; used to start from a fresh installation.
void clear();
} // namespace DefaultsStore
