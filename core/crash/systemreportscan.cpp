// SPDX-License-Identifier: MIT
#include "systemreportscan.h"

#include "crashtext.h"
#include "graphemes.h"
#include "settingkeys.h"

#include <QDir>
#include <QFileInfo>

namespace {

// "No scan yet": earlier than any report.
QDateTime distantPast()
{
    return QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC);
}

bool isListable(const QString &folder)
{
    const QFileInfo info(folder);
    return info.isDir() && info.isReadable() && info.isExecutable();
}

QDateTime modificationDate(const QFileInfo &entry)
{
    const QDateTime modified = entry.lastModified();
    return modified.isValid() ? modified : distantPast();
}
} // namespace

bool SystemReportScan::isCandidate(const QString &fileName, const QString &prefix)
{
    return !prefix.isEmpty() && fileName.startsWith(prefix)
        && (fileName.endsWith(QLatin1String(".crash")) || fileName.endsWith(QLatin1String(".ips")));
}

QString SystemReportScan::messageOf(const QString &report)
{
    const QStringList lines = report.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        if (line.contains(QLatin1String("Exception"))
            || line.contains(QLatin1String("Termination")))
            return line;
    }
    return QStringLiteral("Rapport système macOS");
}

// Every date is compared with the watermark read at the start; the newest date sent only
// decides what is stored at the end. Reports are taken in name order. The watermark never
// passes the time of the scan: a report dated later is not believed (it waits for its date),
// and a watermark found in the future counts as now, so neither can hide the reports to come.
void SystemReportScan::run(const QString &folder, const QString &prefix, const Sender &send)
{
    if (!isListable(folder))
        return;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime last = std::min(SettingKeys::lastCrashScan.read().value_or(distantPast()), now);
    QDateTime newest = last;
    for (const QFileInfo &entry : QDir(folder).entryInfoList(QDir::Files, QDir::Name)) {
        const QDateTime modified = modificationDate(entry);
        if (!isCandidate(entry.fileName(), prefix) || modified <= last || modified > now)
            continue;
        const std::optional<QString> report = CrashText::readFile(entry.filePath());
        if (!report)
            continue;
        send(messageOf(*report), leadingGraphemes(*report, stackLimit));
        newest = std::max(newest, modified);
    }
    SettingKeys::lastCrashScan.write(newest);
}
