// SPDX-License-Identifier: MIT
#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <optional>

// Parameterised statements in one call, and a transaction that rolls back unless committed, so
// an exchange that fails half-way stores nothing.
namespace SqlCall {
// The executed query (positioned before its first row), or nothing when it failed.
std::optional<QSqlQuery> run(QSqlDatabase &db, const QString &statement,
                             const QVariantList &values = {});

class Transaction
{
public:
    explicit Transaction(QSqlDatabase &db);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    bool started() const { return m_open; }
    bool commit();

private:
    QSqlDatabase &m_db;
    bool m_open;
};
} // namespace SqlCall
