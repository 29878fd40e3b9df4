// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>

#include <chrono>
#include <functional>
#include <memory>

// Time as the engine sees it: the current moment and repeating tickers. The program uses the
// system clock; tests drive a manual one so that no test waits for a real minute.
class Clock
{
public:
    // A running repeating ticker; destroying it stops it.
    class Ticker
    {
    public:
        virtual ~Ticker() = default;
    };

    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    virtual std::unique_ptr<Ticker> startTicker(std::chrono::seconds interval,
                                                std::function<void()> onTick)
        = 0;

    // The process-wide system clock.
    static Clock &system();
};
