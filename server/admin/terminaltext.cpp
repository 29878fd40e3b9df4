// SPDX-License-Identifier: MIT
#include "terminaltext.h"

#include <QDateTime>
#include <QTimeZone>

namespace {
// Controls that reorder the text shown around them (bidirectional marks, embeddings,
// isolates) and the Unicode line separators.
bool reordersOrBreaks(char16_t c)
{
    return c == 0x061c || c == 0x200e || c == 0x200f || (c >= 0x2028 && c <= 0x202e)
        || (c >= 0x2066 && c <= 0x2069);
}

QString escapeOf(QChar c)
{
    switch (c.unicode()) {
    case u'\\':
        return QStringLiteral("\\\\");
    case u'\n':
        return QStringLiteral("\\n");
    case u'\r':
        return QStringLiteral("\\r");
    case u'\t':
        return QStringLiteral("\\t");
    }
    if (c.unicode() < 0x100)
        return QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
    return QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
}

bool needsEscape(QChar c)
{
    return c == u'\\' || c.category() == QChar::Other_Control || reordersOrBreaks(c.unicode());
}
} // namespace

QString TerminalText::escaped(QStringView text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text)
        shown += needsEscape(c) ? escapeOf(c) : QString(c);
    return shown;
}

QString TerminalText::firstLine(QStringView text, int width)
{
    const qsizetype end = text.indexOf(u'\n');
    const QStringView line = end < 0 ? text : text.left(end);
    if (width <= 0 || line.size() <= width)
        return line.toString();
    return line.left(width - 1).toString() + QChar(0x2026);
}

QString TerminalText::time(qint64 seconds)
{
    if (seconds <= 0)
        return QStringLiteral("-");
    return QDateTime::fromSecsSinceEpoch(seconds, QTimeZone::utc())
        .toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}
