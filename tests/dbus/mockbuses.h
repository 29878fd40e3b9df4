#pragma once

#include "privatesessionbus.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

#include <map>
#include <memory>

// Two private buses, one playing the session bus and one the system bus, with python3-dbusmock
// services started on them. startBuses() must run before the process first opens either bus.
// Every service a test can start is also installed for activation, as on a real desktop, but
// activating one only leaves a mark (see activated()). Every process started here is killed by
// stop(), stopServices() and the destructor, and dies with the test process if that crashes.
class MockBuses
{
public:
    enum class Bus { Session, System };

    // Where a service answers. logind is dbusmock's own template; the others are played by ours.
    struct Service
    {
        QString busName;
        QString path;
        Bus bus = Bus::Session;
    };
    static const Service logind, gnomeSession, powerManagement, screenSaver, portal;

    MockBuses();
    bool startBuses();
    // Starts the services side by side and waits until each owns its name. Starting one while it
    // runs makes the new process take the name over from the old one.
    bool start(const QList<const Service *> &services, const QVariantMap &parameters = {});
    // Kills every process started for the service and waits until its name has no owner.
    bool stop(const Service &service);
    void stopServices();

    // The process id of the service's current owner; 0 when it has none.
    qint64 ownerPid(const Service &service) const;
    // logind's inhibitors as "what|who|why|mode"; for our own mocks what their Mock.State lists.
    QStringList state(const Service &service) const;
    // The marks ("activated-<bus name>") of the services some call asked the buses to start.
    QStringList activated() const;

private:
    const PrivateBus &bus(Bus which) const { return which == Bus::Session ? m_session : m_system; }

    QTemporaryDir m_activation;
    PrivateBus m_session;
    PrivateBus m_system;
    std::multimap<const Service *, std::unique_ptr<QProcess>> m_services;
};
