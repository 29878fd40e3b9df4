// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// Counts what a reader sees as characters: "é" typed as e + combining accent is one.
qsizetype graphemeCount(const QString &text);

// The first count user-perceived characters of text (all of it when it is shorter), so a cut
// never separates a letter from its accents.
QString leadingGraphemes(const QString &text, qsizetype count);
