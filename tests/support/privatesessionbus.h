#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>

#include <memory>

// A dbus-daemon of the test's own playing the session bus. start() points
// DBUS_SESSION_BUS_ADDRESS at it, so it must run before the process first touches
// QDBusConnection; processes the test starts afterwards inherit it. The daemon is killed by the
// destructor, and dies with the test process if that crashes or times out.
class PrivateSessionBus
{
public:
    PrivateSessionBus() = default;
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus &) = delete;
    PrivateSessionBus &operator=(const PrivateSessionBus &) = delete;

    bool start();
    QString address() const { return m_address; }

    // A connection of the test's own, apart from the program's QDBusConnection::sessionBus().
    QDBusConnection connection() const;
    // Waits, running the event loop, until the name has an owner (or, with owned false, none).
    bool waitForOwner(const QString &name, bool owned = true, int timeoutMs = 5000) const;
    QString ownerOf(const QString &name) const;

private:
    std::unique_ptr<QProcess> m_daemon;
    QString m_address;
};
