// SPDX-License-Identifier: MIT
#include "ratelimiter.h"

#include <cmath>

RateLimiter::RateLimiter(int perMinute)
    : m_capacity(perMinute)
    , m_perSecond(perMinute / 60.0)
{ }

int RateLimiter::take(const QString &device, Clock::time_point now)
{
    const std::lock_guard lock(m_mutex);
    forgetFull(now);
    auto found = m_buckets.find(device);
    if (found == m_buckets.end())
        found = m_buckets.insert(device, { m_capacity, now });
    Bucket &bucket = *found;
    bucket.tokens = refilled(bucket, now);
    bucket.updated = now;
    if (bucket.tokens >= 1.0) {
        bucket.tokens -= 1.0;
        return 0;
    }
    return int(std::ceil((1.0 - bucket.tokens) / m_perSecond));
}

double RateLimiter::refilled(const Bucket &bucket, Clock::time_point now) const
{
    const double seconds = std::chrono::duration<double>(now - bucket.updated).count();
    return std::min(m_capacity, bucket.tokens + seconds * m_perSecond);
}

// A full bucket says nothing a new one would not, so dropping it changes no answer.
void RateLimiter::forgetFull(Clock::time_point now)
{
    if (now - m_lastSweep < std::chrono::minutes(1))
        return;
    m_lastSweep = now;
    m_buckets.removeIf(
        [&](const auto &entry) { return refilled(entry.value(), now) >= m_capacity; });
}
