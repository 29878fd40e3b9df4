// SPDX-License-Identifier: MIT
#include "supportinbox.h"

#include "sqlcall.h"

#include <QJsonDocument>
#include <QVariant>

namespace {

QString text(const QJsonObject &request, const char *name)
{
    return request.value(QLatin1String(name)).toString();
}

bool recordDevice(QSqlDatabase &db, const QJsonObject &request, qint64 now)
{
    return bool(SqlCall::run(
        db,
        QStringLiteral(
            "INSERT INTO devices(id, version, os, first_seen, last_seen) "
            "VALUES (?, ?, ?, ?, ?) ON CONFLICT (id) DO UPDATE SET "
            "version = excluded.version, os = excluded.os, last_seen = excluded.last_seen"),
        { text(request, "d"), text(request, "v"), text(request, "os"), now, now }));
}

// Only a message of this device can be acknowledged by it, and only once.
bool acknowledge(QSqlDatabase &db, const QString &device, qint64 messageId, qint64 now)
{
    return messageId <= 0
        || SqlCall::run(
               db,
               QStringLiteral("UPDATE messages SET delivered_at = ? WHERE id = ? AND device = ? "
                              "AND author = 'maker' AND delivered_at IS NULL"),
               { now, messageId, device });
}

// {"mid", "msg", "tk"}, or nothing when the database failed. One statement reads both the
// conversation's state and the oldest undelivered maker message, each of which may be missing.
std::optional<QJsonObject> offer(QSqlDatabase &db, const QString &device)
{
    const auto row = SqlCall::run(
        db,
        QStringLiteral(
            "SELECT c.state, m.id, m.body FROM (SELECT CAST(? AS TEXT) AS device) AS asked "
            "LEFT JOIN conversations c ON c.device = asked.device "
            "LEFT JOIN messages m ON m.id = (SELECT id FROM messages WHERE device = asked.device "
            "AND author = 'maker' AND delivered_at IS NULL ORDER BY id LIMIT 1)"),
        { device });
    if (!row || !row->next())
        return std::nullopt;
    const bool waiting = !row->isNull(1);
    return QJsonObject {
        { QStringLiteral("mid"), waiting ? row->value(1).toLongLong() : 0 },
        { QStringLiteral("msg"), waiting ? row->value(2).toString() : QString() },
        { QStringLiteral("tk"),
          row->isNull(0) ? QStringLiteral("none") : row->value(0).toString() },
    };
}

bool storeReport(QSqlDatabase &db, const QJsonObject &request, qint64 now)
{
    const QString device = text(request, "d");
    const QJsonValue email = request.value(QLatin1String("email"));
    return recordDevice(db, request, now)
        && SqlCall::run(
               db,
               QStringLiteral("INSERT INTO messages(device, author, body, email, created_at) "
                              "VALUES (?, 'user', ?, ?, ?)"),
               { device, text(request, "text"),
                 email.isString() ? QVariant(email.toString())
                                  : QVariant(QMetaType::fromType<QString>()),
                 now })
        && SqlCall::run(
               db,
               QStringLiteral("INSERT INTO conversations(device, state, opened_at, updated_at) "
                              "VALUES (?, 'open', ?, ?) ON CONFLICT (device) DO UPDATE SET "
                              "state = 'open', updated_at = excluded.updated_at"),
               { device, now, now });
}

const char *const failed = R"({"error":"the server could not store this"})";

} // namespace

ExchangeReply SupportInbox::sync(QSqlDatabase &db, const QJsonObject &request, qint64 now)
{
    const QString device = text(request, "d");
    SqlCall::Transaction transaction(db);
    std::optional<QJsonObject> answer;
    if (transaction.started() && recordDevice(db, request, now)
        && acknowledge(db, device, request.value(QLatin1String("m")).toInteger(), now))
        answer = offer(db, device);
    if (!answer || !transaction.commit())
        return ExchangeReply::json(500, failed);
    return { 200, QJsonDocument(*answer).toJson(QJsonDocument::Compact), 0 };
}

ExchangeReply SupportInbox::report(QSqlDatabase &db, const QJsonObject &request, qint64 now)
{
    SqlCall::Transaction transaction(db);
    if (transaction.started() && storeReport(db, request, now) && transaction.commit())
        return ExchangeReply::json(200, R"({"ok":true})");
    return ExchangeReply::json(500, R"({"ok":false})");
}
