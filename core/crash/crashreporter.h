// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <chrono>

// Catches the program's own fatal failures and reports them to the maker's server. install()
// first uploads what the previous run left (its crash record and the system's new crash
// reports about this program), then catches uncaught C++ exceptions and the fatal signals
// SIGABRT, SIGSEGV, SIGILL, SIGBUS, SIGFPE and SIGTRAP: each leaves one record,
// "pending-crash.txt" in the application-data folder, which the next launch uploads and
// deletes. Uploads are fire and forget: nothing waits, retries, logs or shows anything.
namespace CrashReporter {
void install();
// Reports a non-fatal error at once, with the caller's stack; writes nothing to disk. Any thread
// may call it; the upload itself starts on the main thread.
void reportError(const QString &message);

// Uploads the record of the previous run and deletes it (before the upload, so a record is
// never sent twice).
void sendPendingCrash();
// Uploads the system's crash reports about this program that are newer than the last scan.
void sendSystemCrashReports();
// The same scan over another folder; tests hand it their own.
void sendSystemCrashReports(const QString &folder);
// How long an upload may take, answer included, before it is abandoned.
inline constexpr std::chrono::milliseconds uploadDeadline = std::chrono::seconds(8);
// Posts one report ("crash" or "error") to the crash endpoint; nothing without an application
// object or a usable address.
void send(const QString &kind, const QString &message, const QString &stack,
          std::chrono::milliseconds deadline = uploadDeadline);

// Where the record lives; empty when the system has no application-data folder.
QString pendingCrashPath();
} // namespace CrashReporter
