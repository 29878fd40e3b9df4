// SPDX-License-Identifier: MIT
#pragma once

#include "privatesessionbus.h"

#include <QDir>
#include <QTemporaryDir>
#include <QVariantMap>

#include <map>

// Two private buses, playing the session and the system bus, with python3-dbusmock services on
// them; startBuses() must run before the process first opens either bus. The desktop services
// are also installed for activation, but activating one only leaves a mark (see activated()).
// Every process started here dies with stop(), stopServices(), the destructor or the test
// process.
class MockBuses
{
public:
    enum class Bus { Session, System };
    struct Service
    {
        QString busName, path;
        Bus bus = Bus::Session;
        const char *templateName = nullptr; // dbusmock's own; by default templates/inhibitor.py
    };
    static const Service logind, gnomeSession, powerManagement, screenSaver, portal, upower,
        notifications;

    MockBuses();
    bool startBuses() { return m_session.start() && m_system.start(); }
    QDBusConnection connection(Bus which) const { return bus(which).connection(); }
    // Starts the services side by side and waits until each owns its name. Starting one while it
    // runs makes the new process take the name over from the old one.
    bool start(const QList<const Service *> &services, const QVariantMap &parameters = {});
    // Kills every process started for the service and waits until its name has no owner.
    bool stop(const Service &service);
    void stopServices()
    {
        while (!m_services.empty())
            stop(*m_services.begin()->first);
    }
    // A method of the service's main object, answered.
    QVariantList call(const Service &service, const QString &interface, const QString &method,
                      const QVariantList &arguments = {}) const;
    QVariantList mock(const Service &service, const QString &method,
                      const QVariantList &arguments = {}) const
    {
        return call(service, QStringLiteral("org.freedesktop.DBus.Mock"), method, arguments);
    }
    // logind's inhibitors as "what|who|why|mode"; for our own mocks what their Mock.State lists.
    QStringList state(const Service &service) const;
    // The marks ("activated-<bus name>") of the services some call asked the buses to start.
    QStringList activated() const { return QDir(m_activation.path()).entryList({ "activated-*" }); }

private:
    const PrivateBus &bus(Bus which) const { return which == Bus::Session ? m_session : m_system; }

    QTemporaryDir m_activation;
    PrivateBus m_session;
    PrivateBus m_system;
    std::multimap<const Service *, std::unique_ptr<QProcess>> m_services;
};
