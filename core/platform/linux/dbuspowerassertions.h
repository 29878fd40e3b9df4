#pragma once

#include "inhibitgrant.h"
#include "powerassertions.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QList>

#include <map>
#include <optional>

// Power assertions held as desktop inhibitions over D-Bus, from the program's own bus
// connections so that every service drops them when the process dies. Each assertion is taken
// from the first service of its type's list whose name has an owner and that accepts. When the
// process holding one leaves the bus, the assertion is taken again from the best service left,
// keeping its id; when none is left it waits, and is taken as soon as one of its services
// appears. Destroying the object gives everything back.
class DBusPowerAssertions : public PowerAssertions
{
public:
    // Inside a Flatpak sandbox the portal is the sanctioned way out, so it is asked first.
    enum class Environment { Desktop, FlatpakSandbox };

    explicit DBusPowerAssertions(Environment environment = currentEnvironment());
    ~DBusPowerAssertions() override;
    DBusPowerAssertions(const DBusPowerAssertions &) = delete;
    DBusPowerAssertions &operator=(const DBusPowerAssertions &) = delete;

    Result create(Type type, const QString &name) override;
    void release(quint32 id) override;

    static Environment currentEnvironment();

private:
    struct Hold
    {
        Type type;
        QString reason;
        std::optional<InhibitGrant> grant; // empty while waiting for a service to appear
    };

    // The services asked for a type, best first.
    QList<InhibitGrant::Service> servicesFor(Type type) const;
    std::optional<InhibitGrant> acquire(Type type, const QString &reason) const;
    void watch(QDBusServiceWatcher &watcher, const QDBusConnection &bus, bool systemBus);
    void ownerChanged(const QString &name, const QString &oldOwner, const QString &newOwner);
    void retakeLostFrom(const QString &name, const QString &oldOwner);
    void retakeWaitingFor(const QString &name);

    Environment m_environment;
    std::map<quint32, Hold> m_holds;
    quint32 m_nextId = 1;
    QDBusServiceWatcher m_sessionWatcher;
    QDBusServiceWatcher m_systemWatcher;
};
