// SPDX-License-Identifier: MIT
#pragma once

#include "exitstatus.h"

class AdminOutput;
class QSqlDatabase;

// How many installed copies are alive: devices whose last sync fell in the last day and in the
// last week, by the version they last reported.
class FigureCommands
{
public:
    FigureCommands(QSqlDatabase &db, AdminOutput &output);

    ExitStatus figures();

private:
    QSqlDatabase &m_db;
    AdminOutput &m_output;
};
