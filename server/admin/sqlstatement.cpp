// SPDX-License-Identifier: MIT
#include "sqlstatement.h"

#include "adminoutput.h"

#include <QSqlDatabase>
#include <QSqlError>

std::optional<QSqlQuery> SqlStatement::run(QSqlDatabase &db, AdminOutput &output,
                                           const QString &sql, const QVariantList &values)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    bool ok = query.prepare(sql);
    for (qsizetype i = 0; ok && i < values.size(); ++i)
        query.bindValue(int(i), values[i]);
    if (ok && query.exec())
        return query;
    output.error(QStringLiteral("database: ") + query.lastError().text());
    return std::nullopt;
}
