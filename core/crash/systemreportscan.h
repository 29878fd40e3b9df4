// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

// Finds the system's own crash reports about this program that appeared since the last scan
// and hands each one to a sender; the watermark "VLLastCrashScan" then moves to the newest one,
// so no report is sent twice. Where the system keeps its reports and how it names them is
// defined once per operating system.
namespace SystemReportScan {
using Sender = std::function<void(const QString &message, const QString &stack)>;

// The most user-perceived characters of a report that are sent.
inline constexpr qsizetype stackLimit = 18000;

// The folder the system writes its crash reports to.
QString defaultFolder();
// The beginning of the names of the reports about the executable at executablePath.
QString reportNamePrefix(const QString &executablePath);

bool isCandidate(const QString &fileName, const QString &prefix);
// The first line naming an exception or a termination reason, else a fixed title.
QString messageOf(const QString &report);
// The scan itself. A folder that cannot be listed leaves the watermark untouched.
void run(const QString &folder, const QString &prefix, const Sender &send);
} // namespace SystemReportScan
