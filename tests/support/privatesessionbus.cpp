#include "privatesessionbus.h"

#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QTest>

#include <signal.h>
#include <sys/prctl.h>

namespace {
const QString connectionName = QStringLiteral("privatesessionbus");
constexpr int startTimeoutMs = 10000;
} // namespace

PrivateSessionBus::~PrivateSessionBus()
{
    if (!m_daemon)
        return;
    QDBusConnection::disconnectFromBus(connectionName);
    m_daemon->kill();
    m_daemon->waitForFinished(startTimeoutMs);
}

bool PrivateSessionBus::start()
{
    m_daemon = std::make_unique<QProcess>();
    m_daemon->setProgram(QStringLiteral("dbus-daemon"));
    m_daemon->setArguments({ QStringLiteral("--session"), QStringLiteral("--nofork"),
                             QStringLiteral("--print-address=1") });
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
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    return QDBusConnection::connectToBus(m_address, connectionName).isConnected();
}

QDBusConnection PrivateSessionBus::connection() const
{
    return QDBusConnection(connectionName);
}

QString PrivateSessionBus::ownerOf(const QString &name) const
{
    const QDBusReply<QString> owner = connection().interface()->serviceOwner(name);
    return owner.isValid() ? owner.value() : QString();
}

bool PrivateSessionBus::waitForOwner(const QString &name, bool owned, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    while (ownerOf(name).isEmpty() == owned) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(10);
    }
    return true;
}
