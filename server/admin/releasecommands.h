// SPDX-License-Identifier: MIT
#pragma once

#include "exitstatus.h"

#include <QString>

class AdminOutput;
class QSqlDatabase;

// Releases offered by the update feed: publishing one (its length and SHA-256 read from the
// very file the address serves, so the app can check what it downloads) and listing them.
class ReleaseCommands
{
public:
    struct Publication
    {
        QString version;
        QString notes;
        QString url;
        QString file;
    };

    ReleaseCommands(QSqlDatabase &db, AdminOutput &output);

    ExitStatus publish(const Publication &release);
    ExitStatus releases();

private:
    ExitStatus check(const Publication &release);
    bool isPublished(const QString &version, bool &known);

    QSqlDatabase &m_db;
    AdminOutput &m_output;
};
