// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <cstddef>

// Writes the crash record from inside a failing process. prepare() does everything that needs
// memory or locks ahead of time (paths into static buffers, loading the unwinder); write() then
// uses only calls that are safe in a signal handler: the record goes to a temporary file and is
// renamed over the previous one, so a reader never sees half a record.
namespace CrashRecordWriter {
// The most frames a record holds.
inline constexpr int maxFrames = 30;

// False (and write() does nothing) when the path does not fit the buffers.
bool prepare(const QString &recordPath);
// message, the separator, then the caller's stack, at most maxFrames lines, no final newline.
void write(const char *message, std::size_t length);
} // namespace CrashRecordWriter
