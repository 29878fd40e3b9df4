// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QVariantMap>

// The settings file on disk, handled so that no file at its path can stall, mislead or be lost:
// only a regular file is read, never with a blocking open (a FIFO there would hang start-up)
// and never beyond the format's bound; a file that does not read as settings is set aside as
// "<name>.unreadable" (then "-2", "-3", ...) before anything replaces it; a link is followed
// only to settings of ours, so the target of a foreign link is never written. Writes replace
// the file in one rename.
namespace SettingsFile {
struct Contents
{
    QVariantMap values;
    // Where writes go: the path itself, or the target of a link to settings of ours.
    QString writePath;
};

Contents load(const QString &path);
// Empty when the bytes are stored; otherwise why they are not.
QString save(const QString &path, const QByteArray &bytes);
} // namespace SettingsFile
