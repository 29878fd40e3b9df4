// SPDX-License-Identifier: MIT
#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <mutex>

// Parameterised statements in one call, and a transaction that rolls back unless committed, so
// an exchange that fails half-way stores nothing.
namespace SqlCall {
// An executed statement of the thread's statement cache, positioned before its first row. It
// lets go of its rows when it goes out of scope, so the statement is ready to run again and
// holds no SQLite read snapshot (which would keep the write-ahead log from being checkpointed).
class Result
{
public:
    explicit Result(QSqlQuery *query = nullptr)
        : m_query(query)
    { }
    ~Result()
    {
        if (m_query)
            m_query->finish();
    }
    Result(const Result &) = delete;
    Result &operator=(const Result &) = delete;

    explicit operator bool() const { return m_query != nullptr; }
    QSqlQuery *operator->() const { return m_query; }

private:
    QSqlQuery *m_query;
};

// The executed statement, or an empty result when it failed.
Result run(QSqlDatabase &db, const QString &statement, const QVariantList &values = {});

// On SQLite the threads of this process take turns at writing: SQLite has one writer at a time
// anyway, and a thread that found the database locked would sleep in its busy handler (for
// milliseconds) instead of waking the moment the other thread commits.
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
    std::unique_lock<std::mutex> m_turn;
    QSqlDatabase &m_db;
    bool m_open;
};
} // namespace SqlCall
