// SPDX-License-Identifier: MIT
#pragma once

#include "exchanges.h"

#include <boost/beast/http.hpp>

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>

#include <functional>
#include <optional>

class ServerConfig;

// Which answer a request gets. The route is decided from the header alone, so that a request
// that will be refused (unknown path, wrong method, body over its limit) is answered before its
// body is read; the answer runs the exchange or writes the feed on the calling thread's database
// connection.
class Router
{
public:
    using Request = boost::beast::http::request<boost::beast::http::string_body>;
    using Response = boost::beast::http::response<boost::beast::http::string_body>;
    // The update feed from the database; nothing when it cannot be read.
    using Feed = std::function<std::optional<QByteArray>(QSqlDatabase &)>;

    struct Route
    {
        enum class Target { Exchange, Feed, NotFound, WrongMethod } target;
        Exchanges::Kind kind = Exchanges::Kind::Sync;
        std::uint64_t bodyLimit = 0;
    };

    Router(const ServerConfig &config, Feed feed);

    Route route(const boost::beast::http::request_header<> &header) const;
    // The limit no body of any route may pass, for the parser before the route is known.
    std::uint64_t largestBody() const;

    Response answer(const Route &route, const Request &request);
    // An answer given without reading the body; the connection is closed after it.
    static Response refusal(boost::beast::http::status status, unsigned version);

private:
    Response exchange(Exchanges::Kind kind, const Request &request);
    Response feed(const Request &request);
    std::optional<QSqlDatabase> connection();

    QString m_database;
    std::string m_syncPath, m_reportPath, m_crashPath, m_feedPath;
    std::uint64_t m_bodyLimit, m_crashBodyLimit;
    Exchanges m_exchanges;
    Feed m_feed;
};
