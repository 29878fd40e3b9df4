// SPDX-License-Identifier: MIT
#pragma once

#include "desktoppolicy.h"
#include "inhibitgrant.h"
#include "powerassertions.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QList>
#include <QObject>
#include <QSet>

#include <map>
#include <optional>

class QDBusMessage;

// Power assertions held as desktop inhibitions over D-Bus, from the program's own bus
// connections so that every service drops them when the process dies. Each assertion is asked
// of the services its desktop's policy lists for its type, best first, skipping names without
// an owner; a refusal or a silence past the call's deadline moves on to the next. When the
// process holding one leaves the bus, the assertion is taken again from the best service left,
// keeping its id; when none is left it waits, and is taken as soon as one of its services
// appears. A session manager found holding a "sleep" lock because of us is asked again in the
// way that takes none. Destroying the object gives everything back.
class DBusPowerAssertions : public PowerAssertions
{
public:
    explicit DBusPowerAssertions(DesktopPolicy policy = DesktopPolicy::current());
    ~DBusPowerAssertions() override;
    DBusPowerAssertions(const DBusPowerAssertions &) = delete;
    DBusPowerAssertions &operator=(const DBusPowerAssertions &) = delete;

    Result create(Type type, const QString &name) override;
    void release(quint32 id) override;
    std::optional<Holder> holder(quint32 id) const override;

private:
    using Step = DesktopPolicy::Step;

    struct Hold
    {
        Type type = Type::PreventUserIdleSystemSleep;
        QString reason;
        QList<Step> steps;
        qsizetype step = 0; // the step asked or holding
        quint64 attempt = 0; // answers to an earlier attempt are stale
        bool asking = false;
        bool everGranted = false;
        std::optional<InhibitGrant> grant;
    };

    bool ask(quint32 id, Hold &hold, qsizetype from);
    void answered(quint32 id, quint64 attempt, InhibitGrant::Service service,
                  const QDBusMessage &reply);
    void answerOverdue(quint32 id, quint64 attempt);
    void askedInVain(quint32 id);
    void granted(quint32 id, Hold &hold, InhibitGrant grant);
    void checkSleepLock(quint32 id, quint64 attempt, const QString &owner);
    void sleepLockFound(quint32 id, quint64 attempt);
    void giveBack(InhibitGrant &grant);
    void watch(QDBusServiceWatcher &watcher, const QDBusConnection &bus, bool systemBus);
    void ownerChanged(const QString &name, const QString &oldOwner, const QString &newOwner);
    QList<quint32> holdIds() const;

    DesktopPolicy m_policy;
    std::map<quint32, Hold> m_holds;
    quint32 m_nextId = 1;
    // Session managers that took a sleep lock for us, by unique bus name.
    QSet<QString> m_sleepLockers;
    QList<QDBusPendingCall> m_releases;
    QObject m_context; // answers are delivered to it, so none arrives after we are gone
    QDBusServiceWatcher m_sessionWatcher;
    QDBusServiceWatcher m_systemWatcher;
};
