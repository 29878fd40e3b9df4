// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// What makes two crash reports the same fault: the kind, the message and the top frames of the
// stack, once everything that differs between builds and runs of the same code is taken out
// (addresses, offsets, the folders a build ran in, line numbers, frame numbers).
namespace CrashSignature {
constexpr int frames = 5;

// One line of text with the build- and run-specific parts removed.
QString normalised(const QString &line);
// Lower-case hexadecimal SHA-256 of the kind, the normalised message and top frames.
QString of(const QString &kind, const QString &message, const QString &stack);
} // namespace CrashSignature
