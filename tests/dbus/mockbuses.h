#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <map>
#include <memory>
#include <optional>
#include <vector>

// Two private dbus-daemons playing the session and the system bus, python3-dbusmock services
// started on them, and dbus-monitor to see every method call. startBuses() points
// DBUS_SESSION_BUS_ADDRESS and DBUS_SYSTEM_BUS_ADDRESS at the daemons, so it must run before
// the process first touches QDBusConnection. Every process started here is killed by
// stopServices() and the destructor, and dies with the test process if that crashes.
class MockBuses
{
public:
    enum class Bus { Session, System };

    // A service a test can start: a dbusmock template (ours in tests/dbus/templates, or one of
    // dbusmock's own) and where it answers.
    struct Service
    {
        QString templateName;
        QString busName;
        QString path;
        QString interface;
        Bus bus;
    };
    static const Service logind;
    static const Service gnomeSession;
    static const Service powerManagement;
    static const Service screenSaver;
    static const Service portal;

    MockBuses() = default;
    ~MockBuses();
    MockBuses(const MockBuses &) = delete;
    MockBuses &operator=(const MockBuses &) = delete;

    bool startBuses();
    QString address(Bus bus) const;

    // Starts the service and waits until its name has an owner. Starting it while it runs makes
    // the new process take the name over from the old one.
    bool start(const Service &service, const QVariantMap &parameters = {});
    bool start(const QList<const Service *> &services);
    // Kills every process started for the service and waits until its name has no owner.
    bool stop(const Service &service);
    void stopServices();

    bool hasOwner(Bus bus, const QString &name) const;
    // The process id of the service's current owner; 0 when it has none.
    qint64 ownerPid(const Service &service) const { return ownerPid(service.bus, service.busName); }
    QDBusMessage call(const Service &service, const QString &path, const QString &interface,
                      const QString &method, const QVariantList &arguments = {}) const;
    // The arguments of every call of a method the mock object at path logged (the service's main
    // object when path is empty).
    QList<QVariantList> methodCalls(const Service &service, const QString &method,
                                    const QString &path = {}) const;
    // What the service holds now: logind's inhibitors as "what|who|why|mode", the cookies or
    // portal request handles of our own mocks.
    QStringList held(const Service &service) const;

    // Watches every method call on a bus from now on.
    bool startMonitor(Bus bus);
    // "destination interface.member" of each method call seen so far by anyone but the tests'
    // own connection, once every call sent before has reached the monitor; nothing when the
    // monitor does not answer.
    std::optional<QStringList> callsSeen(Bus bus);

private:
    std::unique_ptr<QProcess> launch(const QString &program, const QStringList &arguments) const;
    bool startDaemon(Bus bus);
    QProcess &launchService(const Service &service, const QVariantMap &parameters);
    bool waitForService(const Service &service, QProcess &process);
    bool stop(const QString &busName, Bus bus);
    qint64 ownerPid(Bus bus, const QString &name) const;
    bool syncMonitor(Bus bus, int timeoutMs);
    bool waitForOwner(Bus bus, const QString &name, bool owned) const;
    QDBusConnection connection(Bus bus) const;

    std::map<Bus, QString> m_addresses;
    std::map<Bus, QString> m_connectionNames;
    std::vector<std::unique_ptr<QProcess>> m_daemons;
    std::multimap<QString, std::unique_ptr<QProcess>> m_services; // by bus name
    std::map<QString, Bus> m_serviceBuses;
    std::map<Bus, std::unique_ptr<QProcess>> m_monitors;
    std::map<Bus, QStringList> m_monitorLines;
    int m_syncCount = 0;
};
