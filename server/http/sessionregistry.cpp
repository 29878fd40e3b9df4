// SPDX-License-Identifier: MIT
#include "sessionregistry.h"

#include <vector>

SessionRegistry::SessionRegistry(int maxConnections)
    : m_max(std::size_t(maxConnections))
{ }

bool SessionRegistry::admit(const std::shared_ptr<Session> &session)
{
    const std::lock_guard lock(m_mutex);
    if (m_stopping || m_sessions.size() >= m_max)
        return false;
    m_sessions.emplace(session.get(), session);
    return true;
}

void SessionRegistry::leave(const Session *session)
{
    const std::lock_guard lock(m_mutex);
    m_sessions.erase(session);
}

void SessionRegistry::stopAll()
{
    m_stopping = true;
    std::vector<std::shared_ptr<Session>> sessions;
    {
        const std::lock_guard lock(m_mutex);
        for (const auto &entry : m_sessions) {
            if (auto session = entry.second.lock())
                sessions.push_back(std::move(session));
        }
    }
    // Outside the lock: a session may leave while it is told to stop.
    for (const auto &session : sessions)
        session->stopIfIdle();
}
