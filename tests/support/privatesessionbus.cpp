// SPDX-License-Identifier: MIT
#include "privatesessionbus.h"

#include <signal.h>
#include <sys/prctl.h>

PrivateBus::~PrivateBus()
{
    if (!m_daemon)
        return;
    QDBusConnection::disconnectFromBus(m_address);
    m_daemon->kill();
    m_daemon->waitForFinished();
}

bool PrivateBus::start()
{
    m_daemon = std::make_unique<QProcess>();
    m_daemon->setStandardInputFile(QProcess::nullDevice());
    // As root the daemon complains that it cannot raise its file limit; that is noise here.
    m_daemon->setStandardErrorFile(QProcess::nullDevice());
    m_daemon->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_daemon->start("dbus-daemon",
                    { m_configFile.isEmpty() ? "--session" : "--config-file=" + m_configFile,
                      "--nofork", "--print-address=1" });
    while (!m_daemon->canReadLine()) {
        if (!m_daemon->waitForReadyRead(10000))
            return false;
    }
    m_address = QString::fromUtf8(m_daemon->readLine()).trimmed();
    qputenv(m_plays == Plays::SessionBus ? "DBUS_SESSION_BUS_ADDRESS" : "DBUS_SYSTEM_BUS_ADDRESS",
            m_address.toUtf8());
    // Named after the address, so that two private buses never share a connection.
    return QDBusConnection::connectToBus(m_address, m_address).isConnected();
}
