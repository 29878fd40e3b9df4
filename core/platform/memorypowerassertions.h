// SPDX-License-Identifier: MIT
#pragma once

#include "powerassertions.h"

#include <QList>
#include <QMap>

// Keeps assertions in memory only; tests read back what is held, can make creation fail at once,
// or refuse a granted assertion later, as a desktop service answering late would.
class MemoryPowerAssertions : public PowerAssertions
{
public:
    struct Held
    {
        Type type;
        QString name;
    };

    Result create(Type type, const QString &name) override;
    void release(quint32 id) override;
    std::optional<Holder> holder(quint32 id) const override;

    // A non-zero code makes every later create() of that type fail with it.
    void setRefusal(Type type, qint32 code);
    // What holder() answers for every assertion held.
    void setHolder(const Holder &holder);
    // The late refusal of a held assertion.
    void refuseLater(quint32 id);
    const QMap<quint32, Held> &held() const { return m_held; }
    int heldCount(Type type) const;
    const QList<quint32> &releases() const { return m_releases; }
    int createCalls() const { return m_createCalls; }

private:
    QMap<quint32, Held> m_held;
    QMap<Type, qint32> m_refusals;
    QList<quint32> m_releases;
    Holder m_holder { QStringLiteral("holder.service_power_manager"), false };
    quint32 m_nextId = 1;
    int m_createCalls = 0;
};
