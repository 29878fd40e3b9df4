#pragma once

#include <QString>

// Counts what a reader sees as characters: "é" typed as e + combining accent is one.
qsizetype graphemeCount(const QString &text);
