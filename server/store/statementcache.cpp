// SPDX-License-Identifier: MIT
#include "statementcache.h"

#include <QHash>
#include <QSqlError>

namespace {

// One connection per thread, so one cache per thread, tied to that connection's name.
struct ThreadStatements
{
    QString connection;
    QHash<QString, QSqlQuery> queries;
};

ThreadStatements &threadStatements()
{
    thread_local ThreadStatements statements;
    return statements;
}

} // namespace

QSqlQuery *StatementCache::prepared(QSqlDatabase &db, const QString &statement, QString *error)
{
    ThreadStatements &cache = threadStatements();
    if (cache.connection != db.connectionName()) {
        cache.queries.clear();
        cache.connection = db.connectionName();
    }
    const auto found = cache.queries.find(statement);
    if (found != cache.queries.end())
        return &*found;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(statement)) {
        *error = query.lastError().text();
        return nullptr;
    }
    return &*cache.queries.insert(statement, std::move(query));
}

void StatementCache::drop(const QString &statement)
{
    threadStatements().queries.remove(statement);
}

void StatementCache::clear()
{
    ThreadStatements &cache = threadStatements();
    cache.queries.clear();
    cache.connection.clear();
}
