// SPDX-License-Identifier: MIT
#include "sqlcall.h"

#include <QSqlError>

#include <cstdio>

std::optional<QSqlQuery> SqlCall::run(QSqlDatabase &db, const QString &statement,
                                      const QVariantList &values)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (query.prepare(statement)) {
        for (const QVariant &value : values)
            query.addBindValue(value);
        if (query.exec())
            return query;
    }
    // The statement text is ours; the bound values (user text) are never logged.
    std::fprintf(stderr, "veluna-server: database: %s\n", qPrintable(query.lastError().text()));
    return std::nullopt;
}

SqlCall::Transaction::Transaction(QSqlDatabase &db)
    : m_db(db)
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
