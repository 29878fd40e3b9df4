#include "dbuspowerassertions.h"

#include <QFile>

namespace {

using Service = InhibitGrant::Service;

const QList<Service> allServices { Service::GnomeSession, Service::PowerManagement,
                                   Service::ScreenSaver, Service::Portal, Service::Logind };

// System idle sleep: the session manager first, because it also keeps the desktop's own idle
// policy informed; logind last, as the lowest layer that every systemd machine has.
const QList<Service> systemOrder { Service::GnomeSession, Service::PowerManagement, Service::Portal,
                                   Service::Logind };
// The display: the screensaver service is the one that blanks and locks.
const QList<Service> displayOrder { Service::ScreenSaver, Service::GnomeSession, Service::Portal,
                                    Service::Logind };

bool listsName(const QList<Service> &services, const QString &name)
{
    for (Service service : services) {
        if (InhibitGrant::busName(service) == name)
            return true;
    }
    return false;
}

} // namespace

DBusPowerAssertions::DBusPowerAssertions(Environment environment)
    : m_environment(environment)
{
    watch(m_sessionWatcher, QDBusConnection::sessionBus(), false);
    watch(m_systemWatcher, QDBusConnection::systemBus(), true);
}

DBusPowerAssertions::~DBusPowerAssertions()
{
    for (auto &[id, hold] : m_holds) {
        if (hold.grant)
            hold.grant->giveBack();
    }
}

DBusPowerAssertions::Environment DBusPowerAssertions::currentEnvironment()
{
    return QFile::exists(QStringLiteral("/.flatpak-info")) ? Environment::FlatpakSandbox
                                                           : Environment::Desktop;
}

QList<Service> DBusPowerAssertions::servicesFor(Type type) const
{
    QList<Service> order = type == Type::PreventUserIdleSystemSleep ? systemOrder : displayOrder;
    if (m_environment == Environment::FlatpakSandbox)
        order.move(order.indexOf(Service::Portal), 0);
    return order;
}

PowerAssertions::Result DBusPowerAssertions::create(Type type, const QString &name)
{
    std::optional<InhibitGrant> grant = acquire(type, name);
    if (!grant)
        return { unsupported, 0 };
    const quint32 id = m_nextId++;
    m_holds.emplace(id, Hold { type, name, std::move(grant) });
    return { success, id };
}

void DBusPowerAssertions::release(quint32 id)
{
    const auto found = m_holds.find(id);
    if (found == m_holds.end())
        return;
    // A hold still waiting for a service has nothing to give back; forgetting it is enough.
    if (found->second.grant)
        found->second.grant->giveBack();
    m_holds.erase(found);
}

std::optional<InhibitGrant> DBusPowerAssertions::acquire(Type type, const QString &reason) const
{
    for (Service service : servicesFor(type)) {
        if (auto grant = InhibitGrant::request(service, type, reason))
            return grant;
    }
    return std::nullopt;
}

void DBusPowerAssertions::watch(QDBusServiceWatcher &watcher, const QDBusConnection &bus,
                                bool systemBus)
{
    QStringList names;
    for (Service service : allServices) {
        if (InhibitGrant::onSystemBus(service) == systemBus)
            names.append(InhibitGrant::busName(service));
    }
    watcher.setConnection(bus);
    watcher.setWatchMode(QDBusServiceWatcher::WatchForOwnerChange);
    watcher.setWatchedServices(names);
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceOwnerChanged, &watcher,
                     [this](const QString &name, const QString &oldOwner, const QString &newOwner) {
                         ownerChanged(name, oldOwner, newOwner);
                     });
}

void DBusPowerAssertions::ownerChanged(const QString &name, const QString &oldOwner,
                                       const QString &newOwner)
{
    // A name can pass straight from one process to another (a restart with replacement): the
    // old owner's inhibitions are gone all the same.
    if (!oldOwner.isEmpty())
        retakeLostFrom(name, oldOwner);
    if (!newOwner.isEmpty())
        retakeWaitingFor(name);
}

void DBusPowerAssertions::retakeLostFrom(const QString &name, const QString &oldOwner)
{
    for (auto &[id, hold] : m_holds) {
        const bool lost = hold.grant && InhibitGrant::busName(hold.grant->service()) == name
            && hold.grant->owner() == oldOwner;
        if (!lost)
            continue;
        // Never give a lost grant back: a new owner of that name could hold someone else's
        // inhibition under the same cookie. Dropping it only closes our logind descriptor.
        hold.grant.reset();
        hold.grant = acquire(hold.type, hold.reason);
    }
}

void DBusPowerAssertions::retakeWaitingFor(const QString &name)
{
    for (auto &[id, hold] : m_holds) {
        if (!hold.grant && listsName(servicesFor(hold.type), name))
            hold.grant = acquire(hold.type, hold.reason);
    }
}
