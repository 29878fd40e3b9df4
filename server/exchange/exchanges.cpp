// SPDX-License-Identifier: MIT
#include "exchanges.h"

#include "crashintake.h"
#include "requestbody.h"
#include "supportinbox.h"

namespace {

using RequestBody::Member;
using RequestBody::Type;

// The request identity every exchange carries. The lengths are generous for what the program
// sends (a 36-character id, a short version and system text) and keep rows small.
constexpr Member device { "d", Type::String, true, 128 };
constexpr Member version { "v", Type::String, true, 64 };
constexpr Member system { "os", Type::String, true, 128 };

std::optional<QJsonObject> check(Exchanges::Kind kind, const QByteArray &body)
{
    switch (kind) {
    case Exchanges::Kind::Sync:
        return RequestBody::parse(body,
                                  { device,
                                    version,
                                    system,
                                    { "c", Type::String, false, 64 },
                                    { "m", Type::Integer, false } });
    case Exchanges::Kind::Report:
        return RequestBody::parse(body,
                                  { device,
                                    version,
                                    system,
                                    { "text", Type::String, true, 20000 },
                                    { "email", Type::String, false, 320 } });
    case Exchanges::Kind::Crash:
        return RequestBody::parse(body,
                                  { device,
                                    version,
                                    system,
                                    { "kind", Type::String, true, 32 },
                                    { "message", Type::String, true, 4096 },
                                    { "stack", Type::String, true, 200000 } });
    }
    return std::nullopt;
}

ExchangeReply run(Exchanges::Kind kind, QSqlDatabase &db, const QJsonObject &request, qint64 now)
{
    switch (kind) {
    case Exchanges::Kind::Sync:
        return SupportInbox::sync(db, request, now);
    case Exchanges::Kind::Report:
        return SupportInbox::report(db, request, now);
    case Exchanges::Kind::Crash:
        return CrashIntake::store(db, request, now);
    }
    return ExchangeReply::json(500, "{}");
}

} // namespace

Exchanges::Exchanges(int ratePerMinute)
    : m_limiter(ratePerMinute)
{ }

ExchangeReply Exchanges::handle(Kind kind, const QByteArray &body, QSqlDatabase &db, qint64 now)
{
    const std::optional<QJsonObject> request = check(kind, body);
    if (!request)
        return ExchangeReply::json(400, R"({"error":"malformed request"})");
    const int wait = m_limiter.take(request->value(QLatin1String("d")).toString());
    if (wait > 0)
        return { 429, R"({"error":"too many requests"})", wait };
    if (!db.isOpen())
        return ExchangeReply::json(503, R"({"error":"the database is unavailable"})");
    return run(kind, db, *request, now);
}
