// SPDX-License-Identifier: MIT
//
// The schema, version 1. Every time is in Unix seconds, UTC. The only difference between SQLite
// and PostgreSQL is the type of the generated ids written <id> below: INTEGER PRIMARY KEY in
// SQLite, BIGSERIAL PRIMARY KEY in PostgreSQL.
//
// schema_version(version)      one row per applied step; the highest is the schema's version.
//
// devices                      every installation that has synced or written to us
//   id TEXT PRIMARY KEY          the installation's device identifier ("d" of every request)
//   version TEXT NOT NULL        the program version it last reported ("v")
//   os TEXT NOT NULL             the system it last reported ("os")
//   first_seen BIGINT NOT NULL   its first request
//   last_seen BIGINT NOT NULL    its latest request
//
// conversations                one support conversation per device, made by its first report
//   device TEXT PRIMARY KEY      the device identifier
//   state TEXT NOT NULL          'open' (the user wrote, or the maker reopened) or 'closed' (the
//                                maker closed it); a sync answers it as "tk", "none" without a row
//   opened_at BIGINT NOT NULL    when it was first opened
//   updated_at BIGINT NOT NULL   the last report, reply or change of state
//
// messages                     both sides of every conversation
//   id <id>                      for a maker message, the "mid" the device receives
//   device TEXT NOT NULL         the conversation's device
//   author TEXT NOT NULL         'user' (a problem report or reply from the program) or 'maker'
//   body TEXT NOT NULL           the text exactly as received or written
//   email TEXT                   the address the user gave with a report, else NULL
//   created_at BIGINT NOT NULL   when it was stored
//   delivered_at BIGINT          maker messages: when the device acknowledged it ("m" of a sync);
//                                NULL while undelivered. The oldest undelivered maker message of
//                                a device is the one its next sync offers. NULL for user messages.
//   index messages_by_device(device, author, delivered_at, id) serves that lookup.
//
// crash_groups                 crash and error reports of one fault
//   id <id>
//   signature TEXT NOT NULL UNIQUE  hash of the kind, the message and the top frames with
//                                addresses, offsets, build paths and line numbers stripped
//   kind TEXT NOT NULL           "crash" or "error", as the first report said
//   message TEXT NOT NULL        the first report's message
//   sample_stack TEXT NOT NULL   the first report's stack
//   report_count BIGINT NOT NULL how many reports the group holds
//   first_seen BIGINT NOT NULL   its first report
//   last_seen BIGINT NOT NULL    its latest report
//
// crash_reports                every report as received
//   id <id>
//   group_id BIGINT NOT NULL     REFERENCES crash_groups(id)
//   device, version, os, kind, message, stack  TEXT NOT NULL, the members "d", "v", "os",
//                                "kind", "message" and "stack" of the upload
//   received_at BIGINT NOT NULL
//
// releases                     what the update feed offers, newest published first
//   id <id>
//   version TEXT NOT NULL UNIQUE the version text the program compares
//   notes TEXT NOT NULL          release notes
//   url TEXT NOT NULL            the download address
//   length BIGINT NOT NULL       the download's size in bytes
//   sha256 TEXT NOT NULL         its SHA-256, lower-case hexadecimal
//   published_at BIGINT NOT NULL
#include "migrations.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace {

using Migrations::Dialect;

// Step 1; "<id>" is replaced by the dialect's generated id column.
const char *const versionOne[] = {
    "CREATE TABLE devices(id TEXT PRIMARY KEY, version TEXT NOT NULL, os TEXT NOT NULL, "
    "first_seen BIGINT NOT NULL, last_seen BIGINT NOT NULL)",
    "CREATE TABLE conversations(device TEXT PRIMARY KEY, "
    "state TEXT NOT NULL CHECK (state IN ('open','closed')), "
    "opened_at BIGINT NOT NULL, updated_at BIGINT NOT NULL)",
    "CREATE TABLE messages(id <id>, device TEXT NOT NULL, "
    "author TEXT NOT NULL CHECK (author IN ('user','maker')), body TEXT NOT NULL, email TEXT, "
    "created_at BIGINT NOT NULL, delivered_at BIGINT)",
    "CREATE INDEX messages_by_device ON messages(device, author, delivered_at, id)",
    "CREATE TABLE crash_groups(id <id>, signature TEXT NOT NULL UNIQUE, kind TEXT NOT NULL, "
    "message TEXT NOT NULL, sample_stack TEXT NOT NULL, report_count BIGINT NOT NULL, "
    "first_seen BIGINT NOT NULL, last_seen BIGINT NOT NULL)",
    "CREATE TABLE crash_reports(id <id>, group_id BIGINT NOT NULL REFERENCES crash_groups(id), "
    "device TEXT NOT NULL, version TEXT NOT NULL, os TEXT NOT NULL, kind TEXT NOT NULL, "
    "message TEXT NOT NULL, stack TEXT NOT NULL, received_at BIGINT NOT NULL)",
    "CREATE TABLE releases(id <id>, version TEXT NOT NULL UNIQUE, notes TEXT NOT NULL, "
    "url TEXT NOT NULL, length BIGINT NOT NULL, sha256 TEXT NOT NULL, published_at BIGINT NOT "
    "NULL)",
};

struct Step
{
    int version;
    const char *const *statements;
    size_t count;
};
const Step steps[] = { { 1, versionOne, std::size(versionOne) } };

// Any number, as long as no other program on the same PostgreSQL uses it.
constexpr qint64 migrationLock = 0x56454c554e41; // "VELUNA"

bool run(QSqlDatabase &db, const QString &statement, QString *error)
{
    QSqlQuery query(db);
    if (query.exec(statement))
        return true;
    *error = QStringLiteral("%1: %2").arg(statement, query.lastError().text());
    return false;
}

// The first statement of the transaction takes the lock that serialises migrating processes.
bool begin(QSqlDatabase &db, Dialect dialect, QString *error)
{
    if (dialect == Dialect::Sqlite)
        return run(db, QStringLiteral("BEGIN IMMEDIATE"), error);
    return run(db, QStringLiteral("BEGIN"), error)
        && run(db, QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(migrationLock), error);
}

int currentVersion(QSqlDatabase &db, QString *error)
{
    if (!run(db,
             QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version(version INTEGER NOT NULL)"),
             error))
        return -1;
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT COALESCE(MAX(version), 0) FROM schema_version"))
        || !query.next()) {
        *error = query.lastError().text();
        return -1;
    }
    return query.value(0).toInt();
}

bool applyStep(QSqlDatabase &db, Dialect dialect, const Step &step, QString *error)
{
    const QString id = dialect == Dialect::Sqlite ? QStringLiteral("INTEGER PRIMARY KEY")
                                                  : QStringLiteral("BIGSERIAL PRIMARY KEY");
    for (size_t i = 0; i < step.count; ++i) {
        if (!run(db, QString::fromLatin1(step.statements[i]).replace(QLatin1String("<id>"), id),
                 error))
            return false;
    }
    QSqlQuery record(db);
    record.prepare(QStringLiteral("INSERT INTO schema_version(version) VALUES (?)"));
    record.addBindValue(step.version);
    if (record.exec())
        return true;
    *error = record.lastError().text();
    return false;
}

bool applyMissing(QSqlDatabase &db, Dialect dialect, QString *error)
{
    const int current = currentVersion(db, error);
    if (current < 0)
        return false;
    if (current > Migrations::latestVersion()) {
        *error = QStringLiteral("the database has schema version %1, newer than this program's %2")
                     .arg(current)
                     .arg(Migrations::latestVersion());
        return false;
    }
    for (const Step &step : steps) {
        if (step.version > current && !applyStep(db, dialect, step, error))
            return false;
    }
    return true;
}

} // namespace

int Migrations::latestVersion()
{
    return steps[std::size(steps) - 1].version;
}

bool Migrations::apply(QSqlDatabase &db, Dialect dialect, QString *error)
{
    if (!begin(db, dialect, error))
        return false;
    if (applyMissing(db, dialect, error) && run(db, QStringLiteral("COMMIT"), error))
        return true;
    QString ignored;
    run(db, QStringLiteral("ROLLBACK"), &ignored);
    return false;
}
