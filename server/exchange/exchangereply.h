// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

// What an exchange answers, before any HTTP: a status, a JSON body (empty for none) and, for a
// refused burst, how many seconds the device should wait.
struct ExchangeReply
{
    int status = 200;
    QByteArray body;
    int retryAfter = 0;

    static ExchangeReply json(int status, const char *body) { return { status, body, 0 }; }
};
