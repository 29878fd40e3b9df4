#include "launcherentrymonitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QVariantMap>

#include <signal.h>
#include <sys/prctl.h>

namespace {
const QString interface = QStringLiteral("com.canonical.Unity.LauncherEntry");

QString markerUri(int number)
{
    return QStringLiteral("marker:%1").arg(number);
}

QString captured(const QString &block, const QString &pattern)
{
    return QRegularExpression(pattern).match(block).captured(1);
}

std::optional<LauncherEntryMonitor::Update> parseUpdate(const QString &block)
{
    if (!block.startsWith(QLatin1String("signal ")) || !block.contains("member=Update"))
        return std::nullopt;
    LauncherEntryMonitor::Update update;
    update.path = captured(block, QStringLiteral("path=([^;]+);"));
    update.appUri = captured(block, QStringLiteral("\\n\\s*string \"([^\"]*)\""));
    const QString count = captured(block, QStringLiteral("\"count\"\\s*variant\\s+int64 (-?\\d+)"));
    if (!count.isEmpty())
        update.count = count.toLongLong();
    const QString visible
        = captured(block, QStringLiteral("\"count-visible\"\\s*variant\\s+boolean (\\w+)"));
    if (!visible.isEmpty())
        update.countVisible = visible == QLatin1String("true");
    return update;
}

// dbus-monitor starts every message at the beginning of a line and indents its arguments.
QStringList messageBlocks(const QString &output)
{
    return output.split(QRegularExpression(QStringLiteral("\\n(?=\\S)")), Qt::SkipEmptyParts);
}
} // namespace

LauncherEntryMonitor::~LauncherEntryMonitor()
{
    if (!m_monitor)
        return;
    m_monitor->kill();
    m_monitor->waitForFinished(5000);
}

bool LauncherEntryMonitor::start(const QString &address)
{
    m_monitor = std::make_unique<QProcess>();
    m_monitor->setProgram(QStringLiteral("dbus-monitor"));
    m_monitor->setArguments({ QStringLiteral("--address"), address,
                              QStringLiteral("type='signal',interface='%1'").arg(interface) });
    m_monitor->setStandardInputFile(QProcess::nullDevice());
    m_monitor->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_monitor->start();
    if (!m_monitor->waitForStarted(5000))
        return false;
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (sendMarkerAndWait(100)) {
            m_output.clear();
            return true;
        }
    }
    return false;
}

bool LauncherEntryMonitor::sendMarkerAndWait(int timeoutMs)
{
    const QString marker = markerUri(++m_markers);
    QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/marker"), interface,
                                                     QStringLiteral("Update"));
    signal << marker << QVariantMap();
    QDBusConnection::sessionBus().send(signal);
    const QDeadlineTimer deadline(timeoutMs);
    while (!m_output.contains(QLatin1Char('"') + marker + QLatin1Char('"'))) {
        if (deadline.hasExpired())
            return false;
        m_monitor->waitForReadyRead(10);
        m_output += QString::fromUtf8(m_monitor->readAllStandardOutput());
    }
    return true;
}

std::optional<QList<LauncherEntryMonitor::Update>> LauncherEntryMonitor::takeUpdates()
{
    if (!sendMarkerAndWait(5000))
        return std::nullopt;
    QList<Update> updates;
    for (const QString &block : messageBlocks(m_output)) {
        const auto update = parseUpdate(block);
        if (update && !update->appUri.startsWith(QLatin1String("marker:")))
            updates.append(*update);
    }
    m_output.clear();
    return updates;
}
