// SPDX-License-Identifier: MIT
#pragma once

#include "exitstatus.h"

#include <QString>

class AdminOutput;
class QSqlDatabase;

// The crash groups the server filed reports under: all of them with their counts, the
// versions they were seen in and when, and one group with a sample stack.
class CrashCommands
{
public:
    CrashCommands(QSqlDatabase &db, AdminOutput &output);

    ExitStatus groups();
    ExitStatus group(const QString &id);

private:
    QSqlDatabase &m_db;
    AdminOutput &m_output;
};
