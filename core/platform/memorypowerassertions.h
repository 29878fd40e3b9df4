#pragma once

#include "powerassertions.h"

#include <QList>
#include <QMap>

// Keeps assertions in memory only; tests read back what is held and can make creation fail.
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

    // A non-zero code makes every later create() of that type fail with it.
    void setRefusal(Type type, qint32 code);
    const QMap<quint32, Held> &held() const { return m_held; }
    int heldCount(Type type) const;
    const QList<quint32> &releases() const { return m_releases; }
    int createCalls() const { return m_createCalls; }

private:
    QMap<quint32, Held> m_held;
    QMap<Type, qint32> m_refusals;
    QList<quint32> m_releases;
    quint32 m_nextId = 1;
    int m_createCalls = 0;
};
