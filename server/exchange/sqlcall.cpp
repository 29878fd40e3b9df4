// SPDX-License-Identifier: MIT
#include "sqlcall.h"

#include "statementcache.h"

#include <QSqlError>

#include <cstdio>

SqlCall::Result SqlCall::run(QSqlDatabase &db, const QString &statement, const QVariantList &values)
{
    QString error;
    QSqlQuery *query = StatementCache::prepared(db, statement, &error);
    if (query) {
        for (int i = 0; i < values.size(); ++i)
            query->bindValue(i, values[i]);
        if (query->exec())
            return Result(query);
        error = query->lastError().text();
        StatementCache::drop(statement);
    }
    // The statement text is ours; the bound values (user text) are never logged.
    std::fprintf(stderr, "veluna-server: database: %s\n", qPrintable(error));
    return Result();
}

namespace {

std::unique_lock<std::mutex> writerTurn(const QSqlDatabase &db)
{
    static std::mutex writer;
    if (db.driverName() == QLatin1String("QSQLITE"))
        return std::unique_lock(writer);
    return {};
}

} // namespace

SqlCall::Transaction::Transaction(QSqlDatabase &db)
    : m_turn(writerTurn(db))
    , m_db(db)
    , m_open(db.transaction())
{ }

SqlCall::Transaction::~Transaction()
{
    if (m_open)
        m_db.rollback();
}

bool SqlCall::Transaction::commit()
{
    if (!m_open)
        return false;
    m_open = false;
    if (m_db.commit())
        return true;
    m_db.rollback();
    return false;
}
