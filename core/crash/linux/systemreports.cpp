// SPDX-License-Identifier: MIT
#include "systemreportscan.h"

// apport writes its reports here, one per executable and user.
QString SystemReportScan::defaultFolder()
{
    return QStringLiteral("/var/crash");
}

// apport names a report after the executable's path with "/" turned into "_", then
// ".<user id>.crash": "/usr/bin/veluna" gives "_usr_bin_veluna.1000.crash". The dot keeps the
// reports of another program whose path merely begins with ours ("veluna-helper") out.
QString SystemReportScan::reportNamePrefix(const QString &executablePath)
{
    if (executablePath.isEmpty())
        return {};
    return QString(executablePath).replace(QLatin1Char('/'), QLatin1Char('_')) + QLatin1Char('.');
}
