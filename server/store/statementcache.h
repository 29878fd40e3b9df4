// SPDX-License-Identifier: MIT
#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

// The statements a thread runs on every request, prepared once for the life of its connection:
// SQLite then parses each statement once instead of once per request, and PostgreSQL keeps it
// prepared on the server instead of preparing and deallocating it around every execution.
class StatementCache
{
public:
    // The statement prepared on db, ready for its values; nullptr (the reason in *error) when it
    // does not prepare.
    static QSqlQuery *prepared(QSqlDatabase &db, const QString &statement, QString *error);

    // Prepares it again on next use: after a failure that may have left it unusable.
    static void drop(const QString &statement);

    // Forgets the calling thread's statements; their connection is about to close.
    static void clear();
};
