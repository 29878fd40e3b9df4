// SPDX-License-Identifier: MIT
#pragma once

#include "exchangereply.h"
#include "ratelimiter.h"

#include <QByteArray>
#include <QSqlDatabase>

// The three exchanges the program makes, free of HTTP: a body goes in, a reply comes out. The
// body is checked first (400 and nothing stored when it breaks a rule), then its device's rate
// (429), then the exchange runs on the caller's database connection.
class Exchanges
{
public:
    enum class Kind { Sync, Report, Crash };

    explicit Exchanges(int ratePerMinute);

    ExchangeReply handle(Kind kind, const QByteArray &body, QSqlDatabase &db, qint64 now);

private:
    RateLimiter m_limiter;
};
