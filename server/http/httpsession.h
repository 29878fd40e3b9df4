// SPDX-License-Identifier: MIT
#pragma once

#include "router.h"
#include "sessionregistry.h"

#include <boost/asio/post.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <type_traits>

// One connection, plain or TLS, through its requests. Every phase has a deadline of its own: the
// header must arrive whole within the header time-out (so a client dripping bytes is cut off), the
// body within the body time-out, and the answer must be taken within the body time-out too. A
// body over its route's limit is refused from the Content-Length before any of it is read, and a
// body without one stops being read at the limit.
template<class Stream>
class HttpSession : public SessionRegistry::Session,
                    public std::enable_shared_from_this<HttpSession<Stream>>
{
public:
    struct Limits
    {
        std::chrono::seconds header;
        std::chrono::seconds body;
    };

    HttpSession(Stream stream, Router &router, SessionRegistry &registry, Limits limits)
        : m_stream(std::move(stream))
        , m_router(router)
        , m_registry(registry)
        , m_limits(limits)
    { }
    ~HttpSession() override { m_registry.leave(this); }

    void start()
    {
        if constexpr (tls) {
            socket().expires_after(m_limits.header);
            m_stream.async_handshake(
                boost::asio::ssl::stream_base::server,
                [self = this->shared_from_this()](boost::beast::error_code error) {
                    if (!error)
                        self->readHeader();
                });
        } else {
            readHeader();
        }
    }

    void stopIfIdle() override
    {
        boost::asio::post(m_stream.get_executor(), [self = this->shared_from_this()] {
            if (self->m_idle && self->m_buffer.size() == 0 && !self->m_parser->got_some())
                self->socket().cancel();
        });
    }

private:
    using Response = Router::Response;
    using Clock = std::chrono::steady_clock;
    static constexpr bool tls = !std::is_same_v<Stream, boost::beast::tcp_stream>;

    boost::beast::tcp_stream &socket() { return boost::beast::get_lowest_layer(m_stream); }

    void readHeader()
    {
        m_parser.emplace();
        m_parser->header_limit(16 * 1024);
        m_parser->body_limit(m_router.largestBody());
        m_idle = true;
        socket().expires_after(m_limits.header);
        boost::beast::http::async_read_header(
            m_stream, m_buffer, *m_parser,
            [self = this->shared_from_this()](boost::beast::error_code error, std::size_t) {
                self->onHeader(error);
            });
    }

    void onHeader(boost::beast::error_code error)
    {
        namespace http = boost::beast::http;
        m_idle = false;
        m_started = Clock::now();
        if (error)
            return refuseBroken(error);
        const auto &header = m_parser->get();
        m_route = m_router.route(header);
        const auto length = m_parser->content_length();
        if (m_route.target == Router::Route::Target::NotFound
            || m_route.target == Router::Route::Target::WrongMethod)
            return send(m_router.answer(m_route, m_parser->get()));
        if (length && *length > m_route.bodyLimit)
            return send(Router::refusal(http::status::payload_too_large, header.version()));
        m_parser->body_limit(m_route.bodyLimit);
        readBody();
    }

    void readBody()
    {
        socket().expires_after(m_limits.body);
        boost::beast::http::async_read(
            m_stream, m_buffer, *m_parser,
            [self = this->shared_from_this()](boost::beast::error_code error, std::size_t) {
                if (error)
                    return self->refuseBroken(error);
                self->send(self->m_router.answer(self->m_route, self->m_parser->get()));
            });
    }

    // A request that could not be read: over a limit gets its status, a time-out, a closed or a
    // garbled connection is dropped.
    void refuseBroken(boost::beast::error_code error)
    {
        namespace http = boost::beast::http;
        const unsigned version = m_parser->get().version();
        if (error == http::error::body_limit)
            return send(Router::refusal(http::status::payload_too_large, version));
        if (error == http::error::header_limit)
            return send(Router::refusal(http::status::request_header_fields_too_large, version));
        const bool garbled
            = error.category() == http::make_error_code(http::error::bad_target).category()
            && error != http::error::end_of_stream && error != http::error::partial_message;
        if (garbled)
            return send(Router::refusal(http::status::bad_request, version));
        close();
    }

    void send(Response response)
    {
        if (m_registry.stopping())
            response.keep_alive(false);
        m_response = std::move(response);
        socket().expires_after(m_limits.body);
        boost::beast::http::async_write(
            m_stream, m_response,
            [self = this->shared_from_this()](boost::beast::error_code error, std::size_t) {
                self->onWritten(error);
            });
    }

    void onWritten(boost::beast::error_code error)
    {
        log();
        if (error || !m_response.keep_alive())
            return close();
        readHeader();
    }

    // One line per request, never a body: method, path, status, body bytes, milliseconds.
    void log() const
    {
        const auto &request = m_parser->get();
        const auto elapsed
            = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_started);
        const std::string method(request.method_string());
        const std::string target(request.target());
        std::fprintf(stderr, "%s %s %u %zu %lld\n", method.empty() ? "-" : method.c_str(),
                     target.empty() ? "-" : target.c_str(), m_response.result_int(),
                     m_response.body().size(), static_cast<long long>(elapsed.count()));
    }

    void close()
    {
        boost::beast::error_code ignored;
        if constexpr (tls) {
            socket().expires_after(m_limits.body);
            m_stream.async_shutdown([self = this->shared_from_this()](boost::beast::error_code) {
                boost::beast::error_code ignored;
                self->socket().socket().shutdown(boost::asio::ip::tcp::socket::shutdown_send,
                                                 ignored);
            });
        } else {
            socket().socket().shutdown(boost::asio::ip::tcp::socket::shutdown_send, ignored);
        }
    }

    Stream m_stream;
    Router &m_router;
    SessionRegistry &m_registry;
    const Limits m_limits;
    boost::beast::flat_buffer m_buffer;
    std::optional<boost::beast::http::request_parser<boost::beast::http::string_body>> m_parser;
    Router::Route m_route { Router::Route::Target::NotFound };
    Response m_response;
    Clock::time_point m_started;
    bool m_idle = false;
};
