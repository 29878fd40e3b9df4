// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>

#include <functional>
#include <optional>

// The user's defaults: one JSON file in the user's config folder, shared by the whole process
// and used on the main thread. Typed reads answer nothing when the key is absent or holds a
// value of another type, so a hand-edited or foreign value never turns into a surprising
// setting. Writes reach the disk at once; a change that would make the file larger than its
// reader accepts is refused (and logged), so the next launch always reads what this one wrote.
// When the file cannot be written, changes live on in memory, are written with the next change
// that can be, and the failure is logged and told to the listener.
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
// Reads the file again, as a launch does; changes not saved yet are dropped.
void reload();

// The file that settings could not be saved to, or empty while saving works.
QString saveFailurePath();
// Called with saveFailurePath() each time saving starts to fail after it worked, and at once if
// it fails already; one listener for the process (the shell's), an empty function removes it.
void setSaveFailureListener(std::function<void(const QString &path)> listener);
} // namespace DefaultsStore
