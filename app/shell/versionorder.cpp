#include "versionorder.h"

#include <QList>

#include <algorithm>
#include <limits>

namespace {
struct Part
{
    qulonglong number = 0;
    QStringView suffix;
};

QStringView withoutPrefix(QStringView version)
{
    version = version.trimmed();
    if (version.startsWith(u'v') || version.startsWith(u'V'))
        version = version.mid(1);
    return version;
}

qsizetype digitRun(QStringView text, qsizetype from)
{
    qsizetype end = from;
    while (end < text.size() && text[end].isDigit())
        ++end;
    return end;
}

// Digits beyond what fits are clamped: such a version is nonsense either way.
qulonglong numberOf(QStringView digits)
{
    bool ok = false;
    const qulonglong value = digits.toULongLong(&ok);
    return ok ? value : (digits.isEmpty() ? 0 : std::numeric_limits<qulonglong>::max());
}

QList<Part> partsOf(QStringView version)
{
    QList<Part> parts;
    for (QStringView piece : withoutPrefix(version).split(u'.')) {
        const qsizetype end = digitRun(piece, 0);
        parts.append({ numberOf(piece.left(end)), piece.mid(end) });
    }
    return parts;
}

// Natural order of two pre-release suffixes: digit runs by value, the rest by letters.
int compareSuffixes(QStringView a, QStringView b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype endA = digitRun(a, i);
            const qsizetype endB = digitRun(b, j);
            const qulonglong x = numberOf(a.sliced(i, endA - i));
            const qulonglong y = numberOf(b.sliced(j, endB - j));
            if (x != y)
                return x < y ? -1 : 1;
            i = endA;
            j = endB;
            continue;
        }
        const int order = a.sliced(i, 1).compare(b.sliced(j, 1), Qt::CaseInsensitive);
        if (order != 0)
            return order < 0 ? -1 : 1;
        ++i;
        ++j;
    }
    return i < a.size() ? 1 : (j < b.size() ? -1 : 0);
}

int compareParts(const Part &a, const Part &b)
{
    if (a.number != b.number)
        return a.number < b.number ? -1 : 1;
    if (a.suffix.isEmpty() != b.suffix.isEmpty())
        return a.suffix.isEmpty() ? 1 : -1;
    return compareSuffixes(a.suffix, b.suffix);
}
} // namespace

int VersionOrder::compare(QStringView a, QStringView b)
{
    const QList<Part> left = partsOf(a);
    const QList<Part> right = partsOf(b);
    for (qsizetype i = 0; i < std::max(left.size(), right.size()); ++i) {
        const int order = compareParts(i < left.size() ? left[i] : Part {},
                                       i < right.size() ? right[i] : Part {});
        if (order != 0)
            return order;
    }
    return 0;
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
