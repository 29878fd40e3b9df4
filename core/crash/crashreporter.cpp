// SPDX-License-Identifier: MIT
#include "crashreporter.h"

#include "crashrecordwriter.h"
#include "crashtext.h"
#include "fatalhandlers.h"
#include "systemreportscan.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace {
constexpr int errorFrames = 15;
} // namespace

// The uploads come first, so a record written in this run is never sent in this run.
void CrashReporter::install()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    sendPendingCrash();
    sendSystemCrashReports();
    CrashRecordWriter::prepare(pendingCrashPath());
    FatalHandlers::install();
}

void CrashReporter::reportError(const QString &message)
{
    send(QStringLiteral("error"), message, CrashText::currentStack(errorFrames));
}

void CrashReporter::sendSystemCrashReports()
{
    sendSystemCrashReports(SystemReportScan::defaultFolder());
}

void CrashReporter::sendSystemCrashReports(const QString &folder)
{
    const QString prefix
        = SystemReportScan::reportNamePrefix(QCoreApplication::applicationFilePath());
    SystemReportScan::run(folder, prefix, [](const QString &message, const QString &stack) {
        send(QStringLiteral("crash"), message, stack);
    });
}

// Creates the folder on the way, so the crash handler only has to write the file.
QString CrashReporter::pendingCrashPath()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (folder.isEmpty())
        return {};
    QDir().mkpath(folder);
    return folder + QStringLiteral("/pending-crash.txt");
}
