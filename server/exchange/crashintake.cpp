// SPDX-License-Identifier: MIT
#include "crashintake.h"

#include "crashsignature.h"
#include "sqlcall.h"

#include <QVariant>

namespace {

QString text(const QJsonObject &request, const char *name)
{
    return request.value(QLatin1String(name)).toString();
}

// The group's id, made or counted in one statement, so concurrent reports of one fault (also
// from several server processes) neither collide nor lose a count.
std::optional<qint64> countInGroup(QSqlDatabase &db, const QJsonObject &request, qint64 now)
{
    const QString kind = text(request, "kind");
    const QString message = text(request, "message");
    const QString stack = text(request, "stack");
    auto group = SqlCall::run(
        db,
        QStringLiteral(
            "INSERT INTO crash_groups(signature, kind, message, sample_stack, "
            "report_count, first_seen, last_seen) VALUES (?, ?, ?, ?, 1, ?, ?) "
            "ON CONFLICT (signature) DO UPDATE SET "
            "report_count = crash_groups.report_count + 1, last_seen = excluded.last_seen "
            "RETURNING id"),
        { CrashSignature::of(kind, message, stack), kind, message, stack, now, now });
    if (!group || !group->next())
        return std::nullopt;
    return group->value(0).toLongLong();
}

bool keepReport(QSqlDatabase &db, qint64 group, const QJsonObject &request, qint64 now)
{
    return bool(SqlCall::run(
        db,
        QStringLiteral("INSERT INTO crash_reports(group_id, device, version, os, kind, message, "
                       "stack, received_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
        { group, text(request, "d"), text(request, "v"), text(request, "os"), text(request, "kind"),
          text(request, "message"), text(request, "stack"), now }));
}

} // namespace

ExchangeReply CrashIntake::store(QSqlDatabase &db, const QJsonObject &request, qint64 now)
{
    SqlCall::Transaction transaction(db);
    std::optional<qint64> group;
    if (transaction.started())
        group = countInGroup(db, request, now);
    if (group && keepReport(db, *group, request, now) && transaction.commit())
        return { 204, QByteArray(), 0 };
    return ExchangeReply::json(500, R"({"error":"the server could not store this"})");
}
