// SPDX-License-Identifier: MIT
#include "memorypowerassertions.h"

PowerAssertions::Result MemoryPowerAssertions::create(Type type, const QString &name)
{
    ++m_createCalls;
    const qint32 refusal = m_refusals.value(type, success);
    if (refusal != success)
        return { refusal, 0 };
    const quint32 id = m_nextId++;
    m_held.insert(id, { type, name });
    return { success, id };
}

void MemoryPowerAssertions::release(quint32 id)
{
    m_releases.append(id);
    m_held.remove(id);
}

void MemoryPowerAssertions::setRefusal(Type type, qint32 code)
{
    m_refusals.insert(type, code);
}

int MemoryPowerAssertions::heldCount(Type type) const
{
    int count = 0;
    for (const Held &held : m_held)
        count += held.type == type ? 1 : 0;
    return count;
}

std::optional<PowerAssertions::Holder> MemoryPowerAssertions::holder(quint32 id) const
{
    return m_held.contains(id) ? std::optional(m_holder) : std::nullopt;
}

void MemoryPowerAssertions::setHolder(const Holder &holder)
{
    m_holder = holder;
    reportHoldersChanged();
}

void MemoryPowerAssertions::refuseLater(quint32 id)
{
    if (m_held.remove(id) > 0)
        reportRefused(id);
}
