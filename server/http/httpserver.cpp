// SPDX-License-Identifier: MIT
#include "httpserver.h"

#include "database.h"
#include "httpsession.h"
#include "serverconfig.h"
#include "sessionregistry.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/strand.hpp>

#include <csignal>
#include <thread>
#include <vector>

namespace net = boost::asio;
namespace ssl = boost::asio::ssl;
using tcp = boost::asio::ip::tcp;
namespace beast = boost::beast;

class HttpServer::Private
{
public:
    Private(const ServerConfig &config, Router::Feed feed)
        : config(config)
        , router(config, std::move(feed))
        , registry(config.maxConnections())
        , limits { std::chrono::seconds(config.headerTimeout()),
                   std::chrono::seconds(config.bodyTimeout()) }
        , io(config.threads())
        , acceptor(net::make_strand(io))
        , stopSignals(io, SIGTERM, SIGINT)
    { }

    bool listen(QString *error);
    bool loadTls(QString *error);
    void accept();
    void serve(tcp::socket socket);
    void serveThreads();

    const ServerConfig &config;
    Router router;
    SessionRegistry registry;
    HttpSession<beast::tcp_stream>::Limits limits;
    net::io_context io;
    tcp::acceptor acceptor;
    net::signal_set stopSignals;
    std::optional<ssl::context> tls;
};

bool HttpServer::Private::listen(QString *error)
{
    beast::error_code failure;
    const auto address = net::ip::make_address(config.listen().toStdString(), failure);
    const tcp::endpoint endpoint(address, config.port());
    if (!failure)
        acceptor.open(endpoint.protocol(), failure);
    if (!failure)
        acceptor.set_option(net::socket_base::reuse_address(true), failure);
    if (!failure)
        acceptor.bind(endpoint, failure);
    if (!failure)
        acceptor.listen(net::socket_base::max_listen_connections, failure);
    if (failure) {
        *error = QStringLiteral("cannot listen on %1 port %2: %3")
                     .arg(config.listen())
                     .arg(config.port())
                     .arg(QString::fromStdString(failure.message()));
        return false;
    }
    // Tests and scripts that asked for port 0 read the port the system chose from here.
    const auto bound = acceptor.local_endpoint();
    std::fprintf(stderr, "veluna-server: listening on %s port %u%s\n",
                 bound.address().to_string().c_str(), bound.port(), tls ? " (TLS)" : "");
    return true;
}

bool HttpServer::Private::loadTls(QString *error)
{
    if (config.tlsCertificate().isEmpty())
        return true;
    beast::error_code failure;
    tls.emplace(ssl::context::tls_server);
    tls->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2
                     | ssl::context::no_sslv3 | ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1);
    tls->use_certificate_chain_file(config.tlsCertificate().toStdString(), failure);
    if (!failure)
        tls->use_private_key_file(config.tlsKey().toStdString(), ssl::context::pem, failure);
    if (!failure)
        return true;
    *error = QStringLiteral("cannot load the TLS certificate or key: %1")
                 .arg(QString::fromStdString(failure.message()));
    return false;
}

void HttpServer::Private::accept()
{
    acceptor.async_accept(net::make_strand(io),
                          [this](beast::error_code error, tcp::socket socket) {
                              if (error == net::error::operation_aborted || !acceptor.is_open())
                                  return;
                              if (!error)
                                  serve(std::move(socket));
                              accept();
                          });
}

// Beyond the cap a connection is closed at once: a flood of connections costs a file descriptor
// for a moment, never a session.
void HttpServer::Private::serve(tcp::socket socket)
{
    std::shared_ptr<SessionRegistry::Session> session;
    if (tls) {
        using Tls = beast::ssl_stream<beast::tcp_stream>;
        auto tlsSession = std::make_shared<HttpSession<Tls>>(
            Tls(std::move(socket), *tls), router, registry,
            HttpSession<Tls>::Limits { limits.header, limits.body });
        if (registry.admit(tlsSession))
            tlsSession->start();
        return;
    }
    auto plain = std::make_shared<HttpSession<beast::tcp_stream>>(
        beast::tcp_stream(std::move(socket)), router, registry, limits);
    if (registry.admit(plain))
        plain->start();
}

// Each thread opens its own database connection on its first request and closes it on the way
// out, as Qt SQL requires.
void HttpServer::Private::serveThreads()
{
    std::vector<std::thread> threads;
    for (int i = 1; i < config.threads(); ++i) {
        threads.emplace_back([this] {
            io.run();
            Database::close();
        });
    }
    io.run();
    for (std::thread &thread : threads)
        thread.join();
    Database::close();
}

HttpServer::HttpServer(const ServerConfig &config, Router::Feed feed)
    : d(std::make_unique<Private>(config, std::move(feed)))
{ }

HttpServer::~HttpServer() = default;

bool HttpServer::run(QString *error)
{
    if (!d->loadTls(error) || !d->listen(error))
        return false;
    d->stopSignals.async_wait([this](beast::error_code, int) {
        net::post(d->acceptor.get_executor(), [this] {
            std::fprintf(stderr, "veluna-server: stopping\n");
            d->acceptor.close();
            d->registry.stopAll();
        });
    });
    d->accept();
    d->serveThreads();
    return true;
}
