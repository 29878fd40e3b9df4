// SPDX-License-Identifier: MIT
#pragma once

#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <optional>

class AdminOutput;
class QSqlDatabase;

// One statement, its values bound in order as parameters, never pasted into the text. A
// failure is told on standard error and gives nothing.
class SqlStatement
{
public:
    static std::optional<QSqlQuery> run(QSqlDatabase &db, AdminOutput &output, const QString &sql,
                                        const QVariantList &values = {});
};
