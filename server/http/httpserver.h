// SPDX-License-Identifier: MIT
#pragma once

#include "router.h"

#include <QString>

class ServerConfig;

// The listening server: accepts connections on the configured address, plain or TLS, up to the
// connection cap, and serves them on a pool of threads (each with its own database connection)
// until SIGTERM or SIGINT; then it stops accepting, lets the requests under way finish and returns.
class HttpServer
{
public:
    HttpServer(const ServerConfig &config, Router::Feed feed);
    ~HttpServer();
    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    // Serves until a stop signal; false (with the reason in *error) when it cannot start.
    bool run(QString *error);

private:
    class Private;
    std::unique_ptr<Private> d;
};
