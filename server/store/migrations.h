// SPDX-License-Identifier: MIT
#pragma once

#include <QSqlDatabase>
#include <QString>

// The database schema as numbered steps. apply() brings a database to the newest version inside
// one transaction that also keeps several processes starting at once from migrating together.
namespace Migrations {
enum class Dialect { Sqlite, Postgresql };

// The version the newest step leaves behind.
int latestVersion();
// Applies the missing steps; false (with the reason in *error) leaves the database as it was.
bool apply(QSqlDatabase &db, Dialect dialect, QString *error);
} // namespace Migrations
