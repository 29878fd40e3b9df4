// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringView>

// Stored texts come from anyone on the internet. Before one reaches the maker's terminal, every
// character that could move the cursor, recolour or retitle the terminal, or reorder the text
// around it is written out as an escape (`\n`, `\t`, `\x1b`, `\u202e`), and the backslash as
// `\\`, so what is shown can always be read back as exactly what was stored.
class TerminalText
{
public:
    static QString escaped(QStringView text);
    // The text up to its first line break, cut to at most `width` characters (0: uncut), not
    // yet escaped.
    static QString firstLine(QStringView text, int width);
    // A stored time (Unix seconds) as "yyyy-MM-dd HH:mm" in UTC; "-" for none.
    static QString time(qint64 seconds);
};
