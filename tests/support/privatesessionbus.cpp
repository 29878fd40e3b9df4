#include "privatesessionbus.h"

#include <QDBusConnectionInterface>
#include <QTest>

#include <signal.h>
#include <sys/prctl.h>

namespace {
constexpr int startTimeoutMs = 10000;
} // namespace

PrivateBus::PrivateBus(Plays plays, const QString &configFile)
    : m_plays(plays)
    , m_configFile(configFile)
{ }

PrivateBus::~PrivateBus()
{
    if (!m_daemon)
        return;
    QDBusConnection::disconnectFromBus(m_address);
    m_daemon->kill();
    m_daemon->waitForFinished(startTimeoutMs);
}

bool PrivateBus::start()
{
    m_daemon = std::make_unique<QProcess>();
    m_daemon->setProgram(QStringLiteral("dbus-daemon"));
    m_daemon->setArguments({ m_configFile.isEmpty()
                                 ? QStringLiteral("--session")
                                 : QStringLiteral("--config-file=") + m_configFile,
                             QStringLiteral("--nofork"), QStringLiteral("--print-address=1") });
    m_daemon->setStandardInputFile(QProcess::nullDevice());
    // As root the daemon complains that it cannot raise its file limit; that is noise here.
    m_daemon->setStandardErrorFile(QProcess::nullDevice());
    m_daemon->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_daemon->start();
    while (!m_daemon->canReadLine()) {
        if (!m_daemon->waitForReadyRead(startTimeoutMs))
            return false;
    }
    m_address = QString::fromUtf8(m_daemon->readLine()).trimmed();
    qputenv(m_plays == Plays::SessionBus ? "DBUS_SESSION_BUS_ADDRESS" : "DBUS_SYSTEM_BUS_ADDRESS",
            m_address.toUtf8());
    // Named after the address, so that two private buses never share a connection.
    return QDBusConnection::connectToBus(m_address, m_address).isConnected();
}

QDBusConnection PrivateBus::connection() const
{
    return QDBusConnection(m_address);
}

QString PrivateBus::ownerOf(const QString &name) const
{
    const QDBusReply<QString> owner = connection().interface()->serviceOwner(name);
    return owner.isValid() ? owner.value() : QString();
}

bool PrivateBus::waitForOwner(const QString &name, bool owned, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return ownerOf(name).isEmpty() != owned; }, timeoutMs);
}
