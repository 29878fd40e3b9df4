// SPDX-License-Identifier: MIT
#include "adminfixture.h"

#include "database.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

AdminFixture::AdminFixture()
{
    QFile config(path(QStringLiteral("server.conf")));
    if (!config.open(QIODevice::WriteOnly)
        || config.write("[General]\ndatabase=" + path(QStringLiteral("veluna.db")).toUtf8() + '\n')
            < 0)
        return;
    config.close();
    QString error;
    if (const auto opened = Database::open(path(QStringLiteral("veluna.db")), &error))
        m_db = *opened;
    else
        qWarning("%s", qPrintable(error));
}

AdminFixture::~AdminFixture()
{
    m_db = QSqlDatabase();
    Database::close();
}

bool AdminFixture::exec(const QString &sql, const QVariantList &values)
{
    QSqlQuery query(m_db);
    bool ok = query.prepare(sql);
    for (qsizetype i = 0; ok && i < values.size(); ++i)
        query.bindValue(int(i), values[i]);
    if (ok && query.exec())
        return true;
    qWarning("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
    return false;
}

QVariant AdminFixture::value(const QString &sql, const QVariantList &values)
{
    QSqlQuery query(m_db);
    query.prepare(sql);
    for (qsizetype i = 0; i < values.size(); ++i)
        query.bindValue(int(i), values[i]);
    return query.exec() && query.next() ? query.value(0) : QVariant();
}

bool AdminFixture::seed()
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const QString device = QStringLiteral("INSERT INTO devices VALUES (?, ?, ?, ?, ?)");
    const QString conversation = QStringLiteral("INSERT INTO conversations VALUES (?, ?, ?, ?)");
    const QString message = QStringLiteral("INSERT INTO messages (device, author, body, email, "
                                           "created_at, delivered_at) VALUES (?, ?, ?, ?, ?, ?)");
    const QString group = QStringLiteral(
        "INSERT INTO crash_groups (signature, kind, message, sample_stack, report_count, "
        "first_seen, last_seen) VALUES (?, ?, ?, ?, ?, ?, ?)");
    const QString report = QStringLiteral(
        "INSERT INTO crash_reports (group_id, device, version, os, kind, message, stack, "
        "received_at) VALUES (?, ?, ?, 'Debian 12', 'crash', 'm', 's', ?)");
    const QString release
        = QStringLiteral("INSERT INTO releases (version, notes, url, length, sha256, published_at) "
                         "VALUES (?, 'Notes', ?, ?, ?, ?)");
    const QVariant none(QMetaType::fromType<QString>());
    return exec(device, { "dev-a", "1.0.0", "Debian 12", t0, now - 3600 })
        && exec(device, { "dev-b", "1.1.0", "Fedora 39", t0, now - 3 * 86400 })
        && exec(device, { "dev-c", "1.1.0", "Arch", t0, now - 30 * 86400 })
        && exec(device, { "dev-quiet", "1.10.0", "Ubuntu 24.04", t0, now - 60 })
        && exec(conversation, { "dev-a", "open", t0 + 100, t0 + 200 })
        && exec(conversation, { "dev-b", "open", t0 + 500, t0 + 500 })
        && exec(conversation, { "dev-c", "closed", t0 + 900, t0 + 950 })
        && exec(message,
                { "dev-a", "user", "Screen still sleeps\nafter 30 min", "a@example.org", t0 + 100,
                  none })
        && exec(message, { "dev-a", "maker", "Which desktop?", none, t0 + 200, t0 + 300 })
        && exec(message, { "dev-b", "user", "'; DROP TABLE messages; --", none, t0 + 500, none })
        && exec(message,
                { "dev-c", "user", QString::fromUtf8("\x1b]0;pwned\x07title\tand\u202e\\x1b"), none,
                  t0 + 900, none })
        && exec(group, { "sig-1", "crash", "SIGSEGV in tick", "#0 tick\n#1 main", 3, t0, t0 + 50 })
        && exec(group, { "sig-2", "error", "bad \x1b[2J", "#0 \x1b[2J", 1, t0 + 60, t0 + 60 })
        && exec(report, { 1, "dev-a", "1.0.0", t0 }) && exec(report, { 1, "dev-b", "1.1.0", t0 })
        && exec(report, { 1, "dev-c", "1.1.0", t0 + 50 })
        && exec(report, { 2, "dev-b", "1.1.0", t0 + 60 })
        && exec(release, { "1.0.0", "https://plenox.app/v/1.0.0", 10, QString(64, u'a'), t0 })
        && exec(release,
                { "1.1.0", "https://plenox.app/v/1.1.0", 20, QString(64, u'b'), t0 + 1000 });
}

AdminFixture::Run AdminFixture::admin(const QStringList &arguments, const QByteArray &input) const
{
    QProcess process;
    process.start(QStringLiteral(VELUNA_ADMIN),
                  QStringList { QStringLiteral("--config"), path(QStringLiteral("server.conf")) }
                      + arguments);
    process.write(input);
    process.closeWriteChannel();
    Run run;
    if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.status = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}
