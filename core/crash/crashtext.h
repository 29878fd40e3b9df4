// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>
#include <string>

// The texts the crash reporter sends: the two pieces of a crash record, report files read within
// a size bound, and descriptions of the exception being handled and of the caller's stack.
namespace CrashText {
// Between the message and the stack in a crash record.
inline constexpr char separator[] = "\n---\n";
// No report file is read beyond this many bytes.
inline constexpr qint64 readLimit = 1024 * 1024;

struct Record
{
    QString message;
    QString stack;
};

// message = the text before the first separator; stack = the text between the first and the
// second separator (empty without one); anything after a second separator is dropped.
Record splitRecord(const QString &text);

// The first readLimit bytes of a file as UTF-8; nothing when it cannot be opened or read. Only
// a regular file owned by the user running the program is read, never through a link, and
// opening never waits: the folders read here may hold what another user put there.
std::optional<QString> readFile(const QString &path);

// "Exception: <type> : <what()>" for the exception being handled; the reason is empty for an
// exception that is not a std::exception. Allocates: not for use inside a signal handler.
std::string describeCurrentException();

// The caller's call stack, innermost first, at most maxFrames symbol lines joined with "\n".
QString currentStack(int maxFrames);
} // namespace CrashText
