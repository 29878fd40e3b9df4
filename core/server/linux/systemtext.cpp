// SPDX-License-Identifier: MIT
#include "requestidentity.h"

#include <QSysInfo>

QString RequestIdentity::systemText()
{
    return QSysInfo::productType() + QLatin1Char(' ') + QSysInfo::productVersion();
}
