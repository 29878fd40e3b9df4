// SPDX-License-Identifier: MIT
#pragma once

#include "exchangereply.h"

#include <QJsonObject>
#include <QSqlDatabase>

// Crash and error reports: each is kept as received and counted in the group of its signature,
// which the first report of a fault creates with its message and stack as the sample.
namespace CrashIntake {
// 204 once stored; the body's members are already checked by Exchanges.
ExchangeReply store(QSqlDatabase &db, const QJsonObject &request, qint64 now);
} // namespace CrashIntake
