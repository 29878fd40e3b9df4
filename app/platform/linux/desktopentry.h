// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

// The "Desktop Entry" group of a freedesktop desktop entry file, read leniently enough for the
// files desktops accept, plus the escaping rules needed to write one. Values come back with
// the string escapes (\s \n \t \r \\) undone; localised keys such as "Name[fr]" stay distinct.
class DesktopEntry
{
public:
    // Nothing when the text does not start (after comments) with a [Desktop Entry] group or
    // holds a line that is neither a comment, a group header nor key=value.
    static std::optional<DesktopEntry> parse(const QByteArray &text);

    bool contains(const QString &key) const { return m_values.contains(key); }
    QString value(const QString &key) const { return m_values.value(key); }
    // "true"/"false" (and the "1"/"0" GLib also takes); nothing when absent or anything else.
    std::optional<bool> boolean(const QString &key) const;

    // One argument of an Exec line, quoted when it holds a reserved character.
    static QString execArgument(const QString &argument);
    // A value as written after "key=" in the file.
    static QString escapeValue(const QString &value);

private:
    bool readLine(QStringView line, bool &inMainGroup, bool &sawGroup);

    QHash<QString, QString> m_values;
};
