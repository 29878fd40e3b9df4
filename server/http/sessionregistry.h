// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <unordered_map>

// The connections being served: it caps how many there are at once, and on shutdown tells the
// idle ones (waiting for a next request that has not started) to close while the busy ones finish
// their request and then close.
class SessionRegistry
{
public:
    class Session
    {
    public:
        virtual ~Session() = default;
        // Called from any thread; the session closes itself on its own executor.
        virtual void stopIfIdle() = 0;
    };

    explicit SessionRegistry(int maxConnections);

    // False when the cap is reached: the caller drops the connection.
    bool admit(const std::shared_ptr<Session> &session);
    void leave(const Session *session);
    void stopAll();
    bool stopping() const { return m_stopping; }

private:
    const std::size_t m_max;
    std::mutex m_mutex;
    std::unordered_map<const Session *, std::weak_ptr<Session>> m_sessions;
    std::atomic<bool> m_stopping { false };
};
