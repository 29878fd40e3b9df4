// SPDX-License-Identifier: MIT
#pragma once

#include <QStringView>

// Orders version texts the way people read them: dot-separated parts compared as numbers
// ("1.10" after "1.9"), missing parts counting as zero ("1.2" equals "1.2.0"), a leading "v"
// ignored. Text after the numbers marks a pre-release ("1.2-beta", "1.2.0rc1" come before
// "1.2"); two such suffixes compare letters by letters and digit runs as numbers ("rc2" before
// "rc10").
namespace VersionOrder {
// Negative, zero or positive as a is older than, the same as, or newer than b.
int compare(QStringView a, QStringView b);
bool isNewer(QStringView candidate, QStringView current);
// A version starts with a digit (after an optional "v").
bool isValid(QStringView version);
} // namespace VersionOrder
