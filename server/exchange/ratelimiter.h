// SPDX-License-Identifier: MIT
#pragma once

#include <QHash>
#include <QString>

#include <chrono>
#include <mutex>

// A token bucket per device id, in memory: a device may send `perMinute` requests at once and
// then one every 60 / perMinute seconds. Shared by every thread of the server. Buckets that have
// filled up again are forgotten, so memory follows the devices active in the last minute.
class RateLimiter
{
public:
    using Clock = std::chrono::steady_clock;

    explicit RateLimiter(int perMinute);

    // 0 when the device may go ahead (and a token is spent), else the whole seconds to wait.
    int take(const QString &device, Clock::time_point now = Clock::now());

private:
    struct Bucket
    {
        double tokens;
        Clock::time_point updated;
    };

    double refilled(const Bucket &bucket, Clock::time_point now) const;
    void forgetFull(Clock::time_point now);

    const double m_capacity;
    const double m_perSecond;
    std::mutex m_mutex;
    QHash<QString, Bucket> m_buckets;
    Clock::time_point m_lastSweep;
};
