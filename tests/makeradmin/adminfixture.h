// SPDX-License-Identifier: MIT
#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

// A server database in a temporary folder, made with the server's own schema, its
// configuration file, and runs of the real veluna-admin on it.
class AdminFixture
{
public:
    // Times the seed uses; the listings show them in UTC.
    static constexpr qint64 t0 = 1796600000;

    struct Run
    {
        int status = -1;
        QString out;
        QString err;
    };

    AdminFixture();
    ~AdminFixture();

    bool isReady() const { return m_db.isOpen(); }
    QSqlDatabase &db() { return m_db; }
    QString path(const QString &name) const { return m_folder.filePath(name); }

    // Statements with their values bound in order; false on the first failure.
    bool exec(const QString &sql, const QVariantList &values = {});
    // The first column of the first row, or an invalid variant when there is none.
    QVariant value(const QString &sql, const QVariantList &values = {});
    // Devices, conversations with both authors, crash groups and releases.
    bool seed();

    Run admin(const QStringList &arguments, const QByteArray &input = {}) const;

private:
    QTemporaryDir m_folder;
    QSqlDatabase m_db;
};
