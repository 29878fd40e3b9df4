#include "mockbuses.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <signal.h>
#include <sys/prctl.h>

namespace {

constexpr int startTimeoutMs = 10000;
const QString inhibitor = QStringLiteral(VELUNA_DBUS_TEMPLATE_DIR "/inhibitor.py");

// Unlike the stock session configuration it lists only our own service folder, so nothing
// installed on the machine can be started on these buses.
const char busConfig[] = R"(<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <servicedir>%1</servicedir>
  <policy context="default">
    <allow send_destination="*"/><allow receive_sender="*"/><allow own="*"/>
  </policy>
</busconfig>)";

bool writeFile(const QString &path, const QString &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) == text.toUtf8().size();
}

QString installed(const QTemporaryDir &folder)
{
    for (const MockBuses::Service *service :
         { &MockBuses::logind, &MockBuses::gnomeSession, &MockBuses::powerManagement,
           &MockBuses::screenSaver, &MockBuses::portal }) {
        writeFile(folder.filePath(service->busName + ".service"),
                  QStringLiteral("[D-BUS Service]\nName=%1\nExec=/usr/bin/touch %2/activated-%1\n")
                      .arg(service->busName, folder.path()));
    }
    const QString config = folder.filePath("bus.conf");
    writeFile(config, QString::fromLatin1(busConfig).arg(folder.path()));
    return config;
}

} // namespace

const MockBuses::Service MockBuses::logind { "org.freedesktop.login1", "/org/freedesktop/login1",
                                             Bus::System };
const MockBuses::Service MockBuses::gnomeSession { "org.gnome.SessionManager",
                                                   "/org/gnome/SessionManager" };
const MockBuses::Service MockBuses::powerManagement { "org.freedesktop.PowerManagement",
                                                      "/org/freedesktop/PowerManagement/Inhibit" };
const MockBuses::Service MockBuses::screenSaver { "org.freedesktop.ScreenSaver",
                                                  "/org/freedesktop/ScreenSaver" };
const MockBuses::Service MockBuses::portal { "org.freedesktop.portal.Desktop",
                                             "/org/freedesktop/portal/desktop" };

MockBuses::MockBuses()
    : m_session(PrivateBus::Plays::SessionBus, installed(m_activation))
    , m_system(PrivateBus::Plays::SystemBus, m_activation.filePath("bus.conf"))
{ }

bool MockBuses::startBuses()
{
    return m_session.start() && m_system.start();
}

bool MockBuses::start(const QList<const Service *> &services, const QVariantMap &parameters)
{
    // Python starts slowly: launch every service before waiting for any.
    QList<QProcess *> started;
    for (const Service *service : services) {
        auto process = std::make_unique<QProcess>();
        // dbusmock must come from Debian's interpreter: the python3 first on PATH lacks it.
        process->setProgram(QStringLiteral("/usr/bin/python3"));
        process->setArguments({ "-m", "dbusmock", "--template",
                                service == &logind ? QStringLiteral("logind") : inhibitor,
                                "--parameters",
                                QJsonDocument(QJsonObject::fromVariantMap(parameters)).toJson() });
        process->setEnvironment(QProcess::systemEnvironment()
                                << "VELUNA_MOCK_SERVICE=" + service->busName);
        process->setStandardInputFile(QProcess::nullDevice());
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // The mock dies with the test even when a crash or a time-out skips every destructor.
        process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        process->start();
        started.append(m_services.emplace(service, std::move(process))->second.get());
    }
    // Wait for this very process to own the name: a replacement takes it over from another.
    for (qsizetype i = 0; i < services.size(); ++i) {
        QProcess &process = *started[i];
        const auto ownsOrEnded = [&] {
            return process.state() != QProcess::Running
                || ownerPid(*services[i]) == process.processId();
        };
        if (!process.waitForStarted(startTimeoutMs) || !QTest::qWaitFor(ownsOrEnded, startTimeoutMs)
            || process.state() != QProcess::Running)
            return false;
    }
    return true;
}

bool MockBuses::stop(const Service &service)
{
    const auto [first, last] = m_services.equal_range(&service);
    for (auto it = first; it != last; ++it) {
        it->second->kill();
        it->second->waitForFinished(startTimeoutMs);
    }
    m_services.erase(first, last);
    // Gone only once the bus says so; a test may look for the name right after.
    return bus(service.bus).waitForOwner(service.busName, false, startTimeoutMs);
}

void MockBuses::stopServices()
{
    while (!m_services.empty())
        stop(*m_services.begin()->first);
}

qint64 MockBuses::ownerPid(const Service &service) const
{
    const QDBusReply<uint> pid
        = bus(service.bus).connection().interface()->servicePid(service.busName);
    return pid.isValid() ? pid.value() : 0;
}

QStringList MockBuses::state(const Service &service) const
{
    const bool ours = &service != &logind;
    QDBusMessage message = QDBusMessage::createMethodCall(
        service.busName, service.path,
        ours ? QStringLiteral("org.freedesktop.DBus.Mock") : "org.freedesktop.login1.Manager",
        ours ? QStringLiteral("State") : "ListInhibitors");
    message.setAutoStartService(false);
    const QVariant reply = bus(service.bus).connection().call(message).arguments().value(0);
    if (ours)
        return reply.toStringList();
    QStringList inhibitors;
    const auto list = reply.value<QDBusArgument>();
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

QStringList MockBuses::activated() const
{
    return QDir(m_activation.path()).entryList({ "activated-*" }, QDir::Files);
}
