// SPDX-License-Identifier: MIT
#pragma once

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QTest>

#include <memory>

// A dbus-daemon of the test's own, playing the session or the system bus. start() points
// DBUS_SESSION_BUS_ADDRESS or DBUS_SYSTEM_BUS_ADDRESS at it, so it must run before the process
// first opens that bus; processes started afterwards inherit it. The daemon is killed by the
// destructor, and dies with the test process if that crashes or times out.
class PrivateBus
{
public:
    enum class Plays { SessionBus, SystemBus };

    // Runs the daemon with configFile, or with the stock session configuration when it is empty.
    explicit PrivateBus(Plays plays = Plays::SessionBus, const QString &configFile = {})
        : m_plays(plays)
        , m_configFile(configFile)
    { }
    ~PrivateBus();
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    bool start();
    // A connection of the test's own, apart from the program's sessionBus() and systemBus().
    QDBusConnection connection() const { return QDBusConnection(m_address); }
    // Waits, running the event loop, until the name has an owner (or, with owned false, none).
    bool waitForOwner(const QString &name, bool owned = true, int timeoutMs = 5000) const
    {
        return QTest::qWaitFor([&] { return ownerOf(name).isEmpty() != owned; }, timeoutMs);
    }
    QString ownerOf(const QString &name) const
    {
        return connection().interface()->serviceOwner(name).value(); // empty when none
    }

private:
    Plays m_plays;
    QString m_configFile;
    std::unique_ptr<QProcess> m_daemon;
    QString m_address;
};

using PrivateSessionBus = PrivateBus;
