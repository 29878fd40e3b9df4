#include "mockbuses.h"

#include <QDBusArgument>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <signal.h>
#include <sys/prctl.h>

namespace {

const QString mockInterface = QStringLiteral("org.freedesktop.DBus.Mock");
const QString busService = QStringLiteral("org.freedesktop.DBus");
const QString busPath = QStringLiteral("/org/freedesktop/DBus");
constexpr int startTimeoutMs = 10000;
constexpr int callTimeoutMs = 5000;

QString ourTemplate(const QString &name)
{
    return QStringLiteral(VELUNA_DBUS_TEMPLATE_DIR "/") + name + QStringLiteral(".py");
}

// Keeps the event loop running while it waits, so the code under test sees bus signals as it
// would in the program.
template<typename Condition> bool waitUntil(Condition condition, int timeoutMs = startTimeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(10);
    }
    return true;
}

void terminate(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.kill();
    process.waitForFinished(startTimeoutMs);
}

// dbusmock logs every argument as a variant; dictionaries arrive still marshalled.
QVariant plain(const QVariant &value)
{
    if (value.metaType() != QMetaType::fromType<QDBusArgument>())
        return value;
    const auto argument = value.value<QDBusArgument>();
    if (argument.currentSignature() == QLatin1String("a{sv}"))
        return qdbus_cast<QVariantMap>(argument);
    return value;
}

QVariantList readArguments(const QDBusArgument &log)
{
    QVariantList arguments;
    log.beginArray();
    while (!log.atEnd()) {
        QDBusVariant argument;
        log >> argument;
        arguments.append(plain(argument.variant()));
    }
    log.endArray();
    return arguments;
}

QList<QVariantList> readCallLog(const QDBusArgument &log)
{
    QList<QVariantList> calls;
    log.beginArray();
    while (!log.atEnd()) {
        quint64 timestamp = 0;
        log.beginStructure();
        log >> timestamp;
        calls.append(readArguments(log));
        log.endStructure();
    }
    log.endArray();
    return calls;
}

QStringList readInhibitors(const QDBusArgument &list)
{
    QStringList inhibitors;
    list.beginArray();
    while (!list.atEnd()) {
        QString what, who, why, mode;
        quint32 uid = 0, pid = 0;
        list.beginStructure();
        list >> what >> who >> why >> mode >> uid >> pid;
        list.endStructure();
        inhibitors.append(QStringList { what, who, why, mode }.join(QLatin1Char('|')));
    }
    list.endArray();
    return inhibitors;
}

} // namespace

const MockBuses::Service MockBuses::logind { "logind", "org.freedesktop.login1",
                                             "/org/freedesktop/login1",
                                             "org.freedesktop.login1.Manager", Bus::System };
const MockBuses::Service MockBuses::gnomeSession { ourTemplate("gnomesession"),
                                                   "org.gnome.SessionManager",
                                                   "/org/gnome/SessionManager",
                                                   "org.gnome.SessionManager", Bus::Session };
const MockBuses::Service MockBuses::powerManagement { ourTemplate("powermanagement"),
                                                      "org.freedesktop.PowerManagement",
                                                      "/org/freedesktop/PowerManagement/Inhibit",
                                                      "org.freedesktop.PowerManagement.Inhibit",
                                                      Bus::Session };
const MockBuses::Service MockBuses::screenSaver { ourTemplate("screensaver"),
                                                  "org.freedesktop.ScreenSaver",
                                                  "/org/freedesktop/ScreenSaver",
                                                  "org.freedesktop.ScreenSaver", Bus::Session };
const MockBuses::Service MockBuses::portal { ourTemplate("portal"),
                                             "org.freedesktop.portal.Desktop",
                                             "/org/freedesktop/portal/desktop",
                                             "org.freedesktop.portal.Inhibit", Bus::Session };

MockBuses::~MockBuses()
{
    stopServices();
    for (auto &[bus, name] : m_connectionNames)
        QDBusConnection::disconnectFromBus(name);
    for (auto &daemon : m_daemons)
        terminate(*daemon);
}

bool MockBuses::startBuses()
{
    if (!startDaemon(Bus::Session) || !startDaemon(Bus::System))
        return false;
    // Before any connection of ours: Qt reads these once, when it first opens each bus.
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_addresses[Bus::Session].toUtf8());
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_addresses[Bus::System].toUtf8());
    for (Bus bus : { Bus::Session, Bus::System }) {
        m_connectionNames[bus] = QStringLiteral("mockbuses-%1").arg(int(bus));
        if (!QDBusConnection::connectToBus(m_addresses[bus], m_connectionNames[bus]).isConnected())
            return false;
    }
    return true;
}

QString MockBuses::address(Bus bus) const
{
    const auto found = m_addresses.find(bus);
    return found == m_addresses.end() ? QString() : found->second;
}

bool MockBuses::startDaemon(Bus bus)
{
    auto daemon = launch(QStringLiteral("dbus-daemon"),
                         { QStringLiteral("--config-file=" VELUNA_DBUS_TEST_BUS_CONFIG),
                           QStringLiteral("--nofork"), QStringLiteral("--print-address=1") });
    // As root the daemon complains that it cannot raise its file limit; that is noise here.
    daemon->setStandardErrorFile(QProcess::nullDevice());
    daemon->start();
    QProcess &process = *daemon;
    m_daemons.push_back(std::move(daemon));
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(startTimeoutMs))
            return false;
    }
    m_addresses[bus] = QString::fromUtf8(process.readLine()).trimmed();
    return true;
}

std::unique_ptr<QProcess> MockBuses::launch(const QString &program,
                                            const QStringList &arguments) const
{
    auto process = std::make_unique<QProcess>();
    process->setProgram(program);
    process->setArguments(arguments);
    process->setStandardInputFile(QProcess::nullDevice());
    // The child dies with the test even when a crash or a time-out skips every destructor.
    process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    return process;
}

QDBusConnection MockBuses::connection(Bus bus) const
{
    const auto found = m_connectionNames.find(bus);
    return QDBusConnection(found == m_connectionNames.end() ? QString() : found->second);
}

bool MockBuses::start(const Service &service, const QVariantMap &parameters)
{
    return waitForService(service, launchService(service, parameters));
}

bool MockBuses::start(const QList<const Service *> &services)
{
    // Python starts slowly; let the services start side by side.
    QList<QProcess *> processes;
    for (const Service *service : services)
        processes.append(&launchService(*service, {}));
    for (qsizetype i = 0; i < services.size(); ++i) {
        if (!waitForService(*services[i], *processes[i]))
            return false;
    }
    return true;
}

QProcess &MockBuses::launchService(const Service &service, const QVariantMap &parameters)
{
    // dbusmock must come from Debian's interpreter: the python3 first on PATH lacks it.
    QStringList arguments { "-m", "dbusmock", service.bus == Bus::System ? "--system" : "--session",
                            "--template", service.templateName };
    if (!parameters.isEmpty())
        arguments << "--parameters"
                  << QJsonDocument(QJsonObject::fromVariantMap(parameters)).toJson();
    auto process = launch(QStringLiteral("/usr/bin/python3"), arguments);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start();
    QProcess &started = *process;
    m_services.emplace(service.busName, std::move(process));
    m_serviceBuses[service.busName] = service.bus;
    return started;
}

bool MockBuses::waitForService(const Service &service, QProcess &process)
{
    // Wait for this very process to own the name: a replacement takes it over from another.
    return process.waitForStarted(startTimeoutMs) && waitUntil([&] {
               return process.state() != QProcess::Running
                   || ownerPid(service.bus, service.busName) == process.processId();
           })
        && process.state() == QProcess::Running;
}

bool MockBuses::stop(const Service &service)
{
    return stop(service.busName, service.bus);
}

bool MockBuses::stop(const QString &busName, Bus bus)
{
    const auto [first, last] = m_services.equal_range(busName);
    for (auto it = first; it != last; ++it)
        terminate(*it->second);
    m_services.erase(first, last);
    // Gone only once the bus says so; a test may look for the name right after.
    return waitForOwner(bus, busName, false);
}

void MockBuses::stopServices()
{
    for (const auto &[busName, bus] : m_serviceBuses)
        stop(busName, bus);
    m_serviceBuses.clear();
    for (auto &[bus, monitor] : m_monitors)
        terminate(*monitor);
    m_monitors.clear();
    m_monitorLines.clear();
}

qint64 MockBuses::ownerPid(Bus bus, const QString &name) const
{
    const QDBusMessage reply
        = connection(bus).call(QDBusMessage::createMethodCall(busService, busPath, busService,
                                                              "GetConnectionUnixProcessID")
                                   << name,
                               QDBus::Block, callTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0).toLongLong() : 0;
}

bool MockBuses::hasOwner(Bus bus, const QString &name) const
{
    const QDBusMessage reply = connection(bus).call(
        QDBusMessage::createMethodCall(busService, busPath, busService, "NameHasOwner") << name,
        QDBus::Block, callTimeoutMs);
    return reply.arguments().value(0).toBool();
}

bool MockBuses::waitForOwner(Bus bus, const QString &name, bool owned) const
{
    return waitUntil([&] { return hasOwner(bus, name) == owned; });
}

QDBusMessage MockBuses::call(const Service &service, const QString &path, const QString &interface,
                             const QString &method, const QVariantList &arguments) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        service.busName, path.isEmpty() ? service.path : path, interface, method);
    message.setArguments(arguments);
    message.setAutoStartService(false);
    return connection(service.bus).call(message, QDBus::Block, callTimeoutMs);
}

QList<QVariantList> MockBuses::methodCalls(const Service &service, const QString &method,
                                           const QString &path) const
{
    const QDBusMessage reply = call(service, path, mockInterface, "GetMethodCalls", { method });
    if (reply.type() != QDBusMessage::ReplyMessage)
        return {};
    return readCallLog(reply.arguments().value(0).value<QDBusArgument>());
}

QStringList MockBuses::held(const Service &service) const
{
    if (service.busName == logind.busName) {
        const QDBusMessage reply = call(service, {}, service.interface, "ListInhibitors");
        return readInhibitors(reply.arguments().value(0).value<QDBusArgument>());
    }
    return call(service, {}, mockInterface, "Held").arguments().value(0).toStringList();
}

bool MockBuses::startMonitor(Bus bus)
{
    auto monitor
        = launch(QStringLiteral("dbus-monitor"),
                 { QStringLiteral("--address"), address(bus), QStringLiteral("--profile") });
    monitor->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    monitor->start();
    m_monitors[bus] = std::move(monitor);
    m_monitorLines[bus].clear();
    // The monitor attaches a moment after it starts; calls sent before that are never reported.
    return waitUntil([&] { return syncMonitor(bus, 200); });
}

std::optional<QStringList> MockBuses::callsSeen(Bus bus)
{
    if (!syncMonitor(bus, startTimeoutMs))
        return std::nullopt;
    const QString ours = connection(bus).baseService();
    QStringList calls;
    for (const QString &line : m_monitorLines[bus]) {
        // --profile lines: type, time, serial, sender, destination, path, interface, member.
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() < 8 || fields[0] != QLatin1String("mc") || fields[3] == ours)
            continue;
        calls.append(fields[4] + QLatin1Char(' ') + fields[6] + QLatin1Char('.') + fields[7]);
    }
    return calls;
}

bool MockBuses::syncMonitor(Bus bus, int timeoutMs)
{
    QProcess &monitor = *m_monitors.at(bus);
    QStringList &lines = m_monitorLines[bus];
    // A call of our own to a name nobody owns: once the monitor reports it, it has reported
    // everything the bus handled before it.
    const QString mark = QStringLiteral("org.veluna.test.Sync%1").arg(++m_syncCount);
    QDBusMessage sync = QDBusMessage::createMethodCall(mark, "/", "org.veluna.test", "Sync");
    sync.setAutoStartService(false);
    connection(bus).call(sync, QDBus::Block, callTimeoutMs);
    return waitUntil(
        [&] {
            while (monitor.canReadLine())
                lines.append(QString::fromUtf8(monitor.readLine()).trimmed());
            return !lines.filter(mark).isEmpty();
        },
        timeoutMs);
}
