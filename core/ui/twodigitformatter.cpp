// SPDX-License-Identifier: MIT
#include "twodigitformatter.h"

#include "graphemes.h"

#include <algorithm>

namespace {
bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}
} // namespace

TwoDigitFormatter::TwoDigitFormatter(qint64 maximum, QObject *parent)
    : QValidator(parent)
    , m_maximum(maximum)
{ }

QValidator::State TwoDigitFormatter::validate(QString &input, int &) const
{
    return isPartialStringValid(input) ? Acceptable : Invalid;
}

bool TwoDigitFormatter::isPartialStringValid(const QString &text) const
{
    if (text.isEmpty())
        return true;
    if (graphemeCount(text) > 2)
        return false;
    // Numerals of other scripts are numbers too, but not ones a duration field can read.
    if (!std::all_of(text.cbegin(), text.cend(), isAsciiDigit))
        return false;
    return text.toLongLong() <= m_maximum;
}
