// SPDX-License-Identifier: MIT
#include "mockbuses.h"

#include "testfiles.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <signal.h>
#include <sys/prctl.h>

using Bus = MockBuses::Bus;
const MockBuses::Service MockBuses::logind { "org.freedesktop.login1", "/org/freedesktop/login1",
                                             Bus::System, "logind" };
const MockBuses::Service MockBuses::gnomeSession { "org.gnome.SessionManager",
                                                   "/org/gnome/SessionManager" };
const MockBuses::Service MockBuses::powerManagement { "org.freedesktop.PowerManagement",
                                                      "/org/freedesktop/PowerManagement/Inhibit" };
const MockBuses::Service MockBuses::screenSaver { "org.freedesktop.ScreenSaver",
                                                  "/org/freedesktop/ScreenSaver" };
const MockBuses::Service MockBuses::portal { "org.freedesktop.portal.Desktop",
                                             "/org/freedesktop/portal/desktop" };
const MockBuses::Service MockBuses::upower { "org.freedesktop.UPower", "/org/freedesktop/UPower",
                                             Bus::System, "upower" };
const MockBuses::Service MockBuses::notifications { "org.freedesktop.Notifications",
                                                    "/org/freedesktop/Notifications", Bus::Session,
                                                    "notification_daemon" };

// Unlike the stock session configuration it lists only our own service folder, so nothing
// installed on the machine can be started on these buses.
MockBuses::MockBuses()
    : m_session(PrivateBus::Plays::SessionBus, m_activation.filePath("bus.conf"))
    , m_system(PrivateBus::Plays::SystemBus, m_activation.filePath("bus.conf"))
{
    const auto write = [this](const QString &name, const QString &text) {
        return TestFiles::write(m_activation.filePath(name), text.toUtf8());
    };
    for (const Service *service :
         { &logind, &gnomeSession, &powerManagement, &screenSaver, &portal })
        write(service->busName + ".service",
              QStringLiteral("[D-BUS Service]\nName=%1\nExec=/usr/bin/touch %2/activated-%1\n")
                  .arg(service->busName, m_activation.path()));
    write("bus.conf",
          QStringLiteral(R"(<busconfig><type>session</type>
  <listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth><servicedir>%1</servicedir>
  <policy context="default"><allow send_destination="*"/><allow receive_sender="*"/>
  <allow own="*"/></policy></busconfig>)")
              .arg(m_activation.path()));
}

bool MockBuses::start(const QList<const Service *> &services, const QVariantMap &parameters)
{
    // Python starts slowly: launch every service before waiting for any.
    QList<QProcess *> started;
    for (const Service *service : services) {
        auto process = std::make_unique<QProcess>();
        process->setEnvironment(QProcess::systemEnvironment()
                                << "VELUNA_MOCK_SERVICE=" + service->busName);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        // dbusmock must come from Debian's interpreter: the python3 first on PATH lacks it.
        process->start("/usr/bin/python3",
                       { "-m", "dbusmock", "--template",
                         service->templateName ? service->templateName
                                               : VELUNA_DBUS_TEMPLATE_DIR "/inhibitor.py",
                         "--parameters",
                         QJsonDocument(QJsonObject::fromVariantMap(parameters)).toJson() });
        started.append(m_services.emplace(service, std::move(process))->second.get());
    }
    // Wait for this very process to own the name: a replacement takes it over from another.
    for (qsizetype i = 0; i < services.size(); ++i) {
        QProcess &process = *started[i];
        const auto ownsOrEnded = [&, service = services[i]] {
            return process.state() != QProcess::Running
                || bus(service->bus).connection().interface()->servicePid(service->busName).value()
                == process.processId();
        };
        if (!process.waitForStarted() || !QTest::qWaitFor(ownsOrEnded, 10000)
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
        it->second->waitForFinished();
    }
    m_services.erase(first, last);
    // Gone only once the bus says so; a test may look for the name right after.
    return bus(service.bus).waitForOwner(service.busName, false, 10000);
}

QVariantList MockBuses::call(const Service &service, const QString &interface,
                             const QString &method, const QVariantList &arguments) const
{
    QDBusMessage message
        = QDBusMessage::createMethodCall(service.busName, service.path, interface, method);
    message.setArguments(arguments);
    message.setAutoStartService(false);
    const QDBusMessage reply = connection(service.bus).call(message);
    if (reply.type() == QDBusMessage::ErrorMessage)
        qWarning("%s: %s", qPrintable(method), qPrintable(reply.errorMessage()));
    return reply.arguments();
}

QStringList MockBuses::state(const Service &service) const
{
    if (&service != &logind)
        return mock(service, "State").value(0).toStringList();
    QStringList inhibitors;
    const auto list = call(service, "org.freedesktop.login1.Manager", "ListInhibitors")
                          .value(0)
                          .value<QDBusArgument>();
    for (list.beginArray(); !list.atEnd();) {
        QString what, who, why, mode;
        list.beginStructure();
        list >> what >> who >> why >> mode;
        list.endStructure(); // skips the uid and pid
        inhibitors.append(QStringList { what, who, why, mode }.join('|'));
    }
    return inhibitors;
}
