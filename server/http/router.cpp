// SPDX-License-Identifier: MIT
#include "router.h"

#include "database.h"
#include "serverconfig.h"

#include <cstdio>

namespace http = boost::beast::http;

namespace {

Router::Response respond(http::status status, unsigned version, const char *type, std::string body)
{
    Router::Response response(status, version);
    response.set(http::field::server, "veluna-server");
    if (!body.empty())
        response.set(http::field::content_type, type);
    response.body() = std::move(body);
    // A 204 carries no body and, by HTTP's rules, no Content-Length either.
    if (status != http::status::no_content)
        response.prepare_payload();
    return response;
}

std::string_view pathOf(boost::beast::string_view target)
{
    const std::string_view whole(target.data(), target.size());
    return whole.substr(0, whole.find('?'));
}

} // namespace

Router::Router(const ServerConfig &config, Feed feed)
    : m_database(config.database())
    , m_syncPath(config.syncPath().toStdString())
    , m_reportPath(config.reportPath().toStdString())
    , m_crashPath(config.crashPath().toStdString())
    , m_feedPath(config.feedPath().toStdString())
    , m_bodyLimit(std::uint64_t(config.bodyLimit()))
    , m_crashBodyLimit(std::uint64_t(config.crashBodyLimit()))
    , m_exchanges(config.ratePerMinute())
    , m_feed(std::move(feed))
{ }

Router::Route Router::route(const http::request_header<> &header) const
{
    using Target = Route::Target;
    const std::string_view path = pathOf(header.target());
    const bool post = header.method() == http::verb::post;
    if (path == m_feedPath)
        return { header.method() == http::verb::get ? Target::Feed : Target::WrongMethod };
    const std::pair<const std::string &, Exchanges::Kind> exchanges[] = {
        { m_syncPath, Exchanges::Kind::Sync },
        { m_reportPath, Exchanges::Kind::Report },
        { m_crashPath, Exchanges::Kind::Crash },
    };
    for (const auto &[exchangePath, kind] : exchanges) {
        if (path == exchangePath)
            return { post ? Target::Exchange : Target::WrongMethod, kind,
                     kind == Exchanges::Kind::Crash ? m_crashBodyLimit : m_bodyLimit };
    }
    return { Target::NotFound };
}

std::uint64_t Router::largestBody() const
{
    return std::max(m_bodyLimit, m_crashBodyLimit);
}

Router::Response Router::answer(const Route &route, const Request &request)
{
    switch (route.target) {
    case Route::Target::Exchange:
        return exchange(route.kind, request);
    case Route::Target::Feed:
        return feed(request);
    case Route::Target::WrongMethod:
        return refusal(http::status::method_not_allowed, request.version());
    case Route::Target::NotFound:
        break;
    }
    return refusal(http::status::not_found, request.version());
}

Router::Response Router::refusal(http::status status, unsigned version)
{
    Response response = respond(status, version, "", {});
    response.keep_alive(false);
    return response;
}

Router::Response Router::exchange(Exchanges::Kind kind, const Request &request)
{
    std::optional<QSqlDatabase> db = connection();
    QSqlDatabase closed;
    const QByteArray body
        = QByteArray::fromRawData(request.body().data(), qsizetype(request.body().size()));
    const ExchangeReply reply = m_exchanges.handle(kind, body, db ? *db : closed, Database::now());
    Response response = respond(http::status(reply.status), request.version(), "application/json",
                                reply.body.toStdString());
    if (reply.retryAfter > 0)
        response.set(http::field::retry_after, std::to_string(reply.retryAfter));
    response.keep_alive(request.keep_alive());
    return response;
}

Router::Response Router::feed(const Request &request)
{
    std::optional<QSqlDatabase> db = connection();
    const std::optional<QByteArray> xml = db ? m_feed(*db) : std::nullopt;
    Response response = xml ? respond(http::status::ok, request.version(),
                                      "application/rss+xml; charset=utf-8", xml->toStdString())
                            : respond(http::status::service_unavailable, request.version(), "", {});
    response.keep_alive(request.keep_alive());
    return response;
}

std::optional<QSqlDatabase> Router::connection()
{
    QString error;
    std::optional<QSqlDatabase> db = Database::open(m_database, &error);
    if (!db)
        std::fprintf(stderr, "veluna-server: database: %s\n", qPrintable(error));
    return db;
}
