// SPDX-License-Identifier: MIT
#pragma once

#include "migrations.h"

#include <QSqlDatabase>
#include <QString>

#include <optional>

class ServerConfig;

// The server's database, SQLite or PostgreSQL as the configuration says, through one code path.
// A Qt SQL connection belongs to the thread that made it, so every thread gets a connection of
// its own, named after the thread; open() hands back the calling thread's, opening it (and
// bringing the schema up to date) on first use.
class Database
{
public:
    // The calling thread's connection, or nothing with the reason in *error.
    static std::optional<QSqlDatabase> open(const ServerConfig &config, QString *error);
    static std::optional<QSqlDatabase> open(const QString &location, QString *error);

    // Which engine a configured location selects: a postgresql:// URL, else an SQLite file.
    static Migrations::Dialect dialect(const QString &location);

    // Closes the calling thread's connection; threads call it before they end.
    static void close();

    // Now, as every time column holds it.
    static qint64 now();
};
