// SPDX-License-Identifier: MIT
#include "desktopentry.h"

#include <algorithm>

namespace {
const QString mainGroup = QStringLiteral("[Desktop Entry]");

QString unescapeValue(QStringView raw)
{
    static const QHash<QChar, QChar> escapes {
        { u's', u' ' }, { u'n', u'\n' }, { u't', u'\t' }, { u'r', u'\r' }, { u'\\', u'\\' }
    };
    QString value;
    value.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar next = i + 1 < raw.size() ? raw[i + 1] : QChar();
        if (raw[i] == u'\\' && escapes.contains(next)) {
            value += escapes.value(next);
            ++i;
        } else {
            value += raw[i];
        }
    }
    return value;
}
} // namespace

std::optional<DesktopEntry> DesktopEntry::parse(const QByteArray &text)
{
    DesktopEntry entry;
    bool inMainGroup = false;
    bool sawGroup = false;
    const QString decoded = QString::fromUtf8(text);
    for (QStringView line : QStringView(decoded).split(u'\n')) {
        if (!entry.readLine(line.trimmed(), inMainGroup, sawGroup))
            return std::nullopt;
    }
    return sawGroup ? std::optional(entry) : std::nullopt;
}

bool DesktopEntry::readLine(QStringView line, bool &inMainGroup, bool &sawGroup)
{
    if (line.isEmpty() || line.startsWith(u'#'))
        return true;
    if (line.startsWith(u'[')) {
        // The main group must come first; later groups (actions) are skipped.
        const bool first = !sawGroup;
        sawGroup = true;
        inMainGroup = first && line == mainGroup;
        return !first || inMainGroup;
    }
    const qsizetype equals = line.indexOf(u'=');
    if (!sawGroup || equals <= 0)
        return false;
    if (inMainGroup)
        m_values.insert(line.left(equals).trimmed().toString(),
                        unescapeValue(line.mid(equals + 1).trimmed()));
    return true;
}

std::optional<bool> DesktopEntry::boolean(const QString &key) const
{
    const QString text = value(key);
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return std::nullopt;
}

// Exec rules: an argument holding a reserved character goes in double quotes, where ", `, $
// and \ take a backslash; a literal % is always doubled, since %f, %u… are field codes.
QString DesktopEntry::execArgument(const QString &argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString doubled = argument;
    doubled.replace(u'%', QStringLiteral("%%"));
    const bool needsQuotes = argument.isEmpty()
        || std::any_of(argument.cbegin(), argument.cend(),
                       [](QChar c) { return reserved.contains(c); });
    if (!needsQuotes)
        return doubled;
    QString quoted = QStringLiteral("\"");
    for (QChar c : doubled) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    return quoted + u'"';
}

// The string escapes apply to the whole value after the Exec quoting, so a backslash of the
// quoting is itself written twice.
QString DesktopEntry::escapeValue(const QString &value)
{
    QString escaped;
    escaped.reserve(value.size());
    for (QChar c : value) {
        switch (c.unicode()) {
        case '\\':
            escaped += QStringLiteral("\\\\");
            break;
        case '\n':
            escaped += QStringLiteral("\\n");
            break;
        case '\t':
            escaped += QStringLiteral("\\t");
            break;
        case '\r':
            escaped += QStringLiteral("\\r");
            break;
        default:
            escaped += c;
        }
    }
    if (escaped.startsWith(u' '))
        escaped.replace(0, 1, QStringLiteral("\\s"));
    return escaped;
}
