// SPDX-License-Identifier: MIT
#include "versionorder.h"

#include <QCollator>
#include <QRegularExpression>
#include <QVersionNumber>

#include <limits>

namespace {
constexpr int largestPart = std::numeric_limits<int>::max();

QStringView withoutPrefix(QStringView version)
{
    version = version.trimmed();
    if (version.startsWith(u'v') || version.startsWith(u'V'))
        version = version.mid(1);
    return version;
}

// QVersionNumber stops reading at a part too large for an int. Such a version is nonsense either
// way, so the part counts as the largest there is.
QString withPartsClamped(QStringView version)
{
    static const QRegularExpression longRun(QStringLiteral("[0-9]{10,}"));
    QString text = version.toString();
    for (auto match = longRun.match(text); match.hasMatch();
         match = longRun.match(text, match.capturedStart() + 10)) {
        bool fits = false;
        (void)match.capturedView().toInt(&fits);
        if (!fits)
            text.replace(match.capturedStart(), match.capturedLength(),
                         QString::number(largestPart));
    }
    return text;
}

// Pre-release suffixes in natural order: digit runs by value, letters in any case. English
// rather than the user's language, so every user sees the same order.
int compareSuffixes(const QString &a, const QString &b)
{
    static const QCollator collator = [] {
        QCollator natural { QLocale(QLocale::English) };
        natural.setNumericMode(true);
        natural.setCaseSensitivity(Qt::CaseInsensitive);
        return natural;
    }();
    const int order = collator.compare(a, b);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

struct Version
{
    QVersionNumber number;
    QString suffix;
};

Version versionOf(QStringView text)
{
    const QString clamped = withPartsClamped(withoutPrefix(text));
    qsizetype suffixStart = 0;
    const QVersionNumber number = QVersionNumber::fromString(clamped, &suffixStart);
    return { number.normalized(), clamped.mid(suffixStart) };
}
} // namespace

int VersionOrder::compare(QStringView a, QStringView b)
{
    const Version left = versionOf(a);
    const Version right = versionOf(b);
    if (const int order = QVersionNumber::compare(left.number, right.number); order != 0)
        return order < 0 ? -1 : 1;
    // A release comes after its own pre-releases.
    if (left.suffix.isEmpty() != right.suffix.isEmpty())
        return left.suffix.isEmpty() ? 1 : -1;
    return compareSuffixes(left.suffix, right.suffix);
}

bool VersionOrder::isNewer(QStringView candidate, QStringView current)
{
    return compare(candidate, current) > 0;
}

bool VersionOrder::isValid(QStringView version)
{
    const QStringView rest = withoutPrefix(version);
    return !rest.isEmpty() && rest.front().isDigit();
}
