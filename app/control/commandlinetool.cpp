// SPDX-License-Identifier: MIT
#include "commandlinetool.h"

#include "awakeengine.h"
#include "buildinfo.h"
#include "commandrun.h"
#include "controlclient.h"
#include "localisation.h"
#include "processwatch.h"

#include <QDBusReply>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {
using Action = ControlCommand::Action;
constexpr std::chrono::seconds launchDeadline { 20 };

void printLine(std::FILE *to, const QString &line)
{
    std::fputs((line + u'\n').toLocal8Bit().constData(), to);
    std::fflush(to);
}

int failWith(int status, const QString &message)
{
    printLine(stderr, QStringLiteral("veluna: ") + message);
    return status;
}

int notRunning()
{
    return failWith(ControlCommand::NotRunning, L(QStringLiteral("cli.not_running")));
}

// The reply's first value, or the status to exit with after saying what went wrong.
bool answered(const QDBusMessage &reply, int *status)
{
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    *status = reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.InvalidArgs")
        ? failWith(ControlCommand::BadInput, reply.errorMessage())
        : failWith(ControlCommand::Idle, L(QStringLiteral("cli.no_answer"), reply.errorMessage()));
    return false;
}

QString processName(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    const QString name = comm.open(QIODevice::ReadOnly)
        ? QString::fromLocal8Bit(comm.read(64)).trimmed()
        : QString();
    return name.isEmpty() ? QString::number(pid) : name;
}

int waitForEnd(ProcessWatch &watch)
{
    QEventLoop loop;
    QObject::connect(&watch, &ProcessWatch::ended, &loop, &QEventLoop::quit);
    loop.exec();
    return ControlCommand::Awake;
}

int runToEnd(const QStringList &command)
{
    CommandRun run;
    if (!run.start(command))
        return failWith(CommandRun::cannotStart, run.errorText());
    QEventLoop loop;
    int status = 0;
    QObject::connect(&run, &CommandRun::finished, &loop, [&](int ended) {
        status = ended;
        loop.quit();
    });
    loop.exec();
    return status;
}

int displayArgument(const ControlCommand &command)
{
    return command.keepDisplayAwake() ? int(*command.keepDisplayAwake()) : -1;
}
} // namespace

CommandLineTool::CommandLineTool(QString desktopId, QString executable)
    : m_desktopId(std::move(desktopId))
    , m_executable(std::move(executable))
{ }

int CommandLineTool::run(const ControlCommand &command)
{
    if (!command.error().isEmpty())
        return failWith(ControlCommand::BadInput, command.error());
    ControlClient client(QDBusConnection::sessionBus(), m_desktopId);
    switch (command.action()) {
    case Action::Help:
        printLine(stdout, ControlCommand::helpText());
        return 0;
    case Action::Version:
        printLine(stdout, QStringLiteral("veluna ") + QString::fromLatin1(BuildInfo::version));
        return 0;
    case Action::Status:
        return status(command, client);
    case Action::Extend:
        return extend(command, client);
    case Action::Run:
    case Action::Watch:
        return hold(command, client);
    default:
        return period(command, client);
    }
}

// start, until, stop and toggle: the running program does it, started first when needed.
int CommandLineTool::period(const ControlCommand &command, ControlClient &client)
{
    const bool running = client.isRunning();
    if (!running && command.action() == Action::Stop)
        return ControlCommand::Awake; // nothing is held: done
    if (!running && !client.launch(m_executable, launchDeadline))
        return notRunning();
    QDBusMessage reply;
    switch (command.action()) {
    case Action::Start:
        reply = client.call(QStringLiteral("Start"),
                            { command.minutes().value_or(-1), displayArgument(command) });
        break;
    case Action::Until: {
        const QDateTime end
            = ControlCommand::nextOccurrence(command.until(), QDateTime::currentDateTime());
        reply = client.call(QStringLiteral("StartUntil"),
                            { end.toOffsetFromUtc(end.offsetFromUtc()).toString(Qt::ISODate),
                              displayArgument(command) });
        break;
    }
    case Action::Stop:
        reply = client.call(QStringLiteral("Stop"));
        break;
    default:
        reply = client.call(QStringLiteral("Toggle"));
        break;
    }
    int failed = 0;
    if (!answered(reply, &failed))
        return failed;
    // A start that ends idle was refused by every service.
    const bool refused = (command.action() == Action::Start || command.action() == Action::Until)
        && !client.properties().value(QStringLiteral("Active")).toBool();
    return refused ? failWith(ControlCommand::Idle, L(QStringLiteral("holder.refused")))
                   : ControlCommand::Awake;
}

int CommandLineTool::status(const ControlCommand &command, ControlClient &client)
{
    if (!client.isRunning())
        return notRunning();
    const QVariantMap state = client.properties();
    if (state.isEmpty())
        return notRunning();
    const bool active = state.value(QStringLiteral("Active")).toBool();
    const QString holder = state.value(QStringLiteral("Holder")).toString();
    const QString endsAt = state.value(QStringLiteral("EndsAt")).toString();
    if (command.json()) {
        const QJsonObject object {
            { "active", active },
            { "endsAt", endsAt.isEmpty() ? QJsonValue() : QJsonValue(endsAt) },
            { "keepDisplayAwake", state.value(QStringLiteral("KeepDisplayAwake")).toBool() },
            { "holder", holder.isEmpty() ? QJsonValue() : QJsonValue(holder) },
            { "version", state.value(QStringLiteral("Version")).toString() },
        };
        printLine(stdout, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
    } else {
        const QString line = state.value(QStringLiteral("StatusText")).toString();
        printLine(stdout,
                  holder.isEmpty() ? line : L(QStringLiteral("cli.status_held"), line, holder));
    }
    return active ? ControlCommand::Awake : ControlCommand::Idle;
}

int CommandLineTool::extend(const ControlCommand &command, ControlClient &client)
{
    if (!client.isRunning())
        return notRunning();
    int failed = 0;
    const QDBusMessage reply = client.call(QStringLiteral("Extend"), { *command.minutes() });
    if (!answered(reply, &failed))
        return failed;
    if (!reply.arguments().value(0).toBool())
        return failWith(ControlCommand::Idle, L(QStringLiteral("cli.no_timed_period")));
    return ControlCommand::Awake;
}

// run and watch: the running program holds on our behalf (and lets go should we die), or, with
// none running, this process holds through the same power layer.
int CommandLineTool::hold(const ControlCommand &command, ControlClient &client)
{
    std::unique_ptr<ProcessWatch> watched;
    if (command.action() == Action::Watch) {
        watched = ProcessWatch::watch(command.pid());
        if (!watched)
            return failWith(ControlCommand::BadInput,
                            L(QStringLiteral("cli.no_process"), QString::number(command.pid())));
    }
    const QString name = watched ? processName(command.pid())
                                 : QFileInfo(command.command().constFirst()).fileName();
    if (!client.isRunning())
        return holdHere(command, name, watched.get());
    const QDBusReply<uint> held
        = client.call(QStringLiteral("Hold"), { name, command.keepDisplayAwake().value_or(false) });
    if (!held.isValid())
        printLine(stderr, QStringLiteral("veluna: ") + held.error().message());
    const int status = watched ? waitForEnd(*watched) : runToEnd(command.command());
    if (held.isValid())
        client.call(QStringLiteral("Release"), { held.value() });
    return status;
}

int CommandLineTool::holdHere(const ControlCommand &command, const QString &name,
                              ProcessWatch *watched)
{
    AwakeEngine engine(PowerAssertions::createPlatformDefault());
    const quint32 id = engine.addGuest(name, command.keepDisplayAwake().value_or(false));
    if (id == 0)
        printLine(stderr, QStringLiteral("veluna: ") + L(QStringLiteral("holder.refused")));
    const int status = watched ? waitForEnd(*watched) : runToEnd(command.command());
    engine.removeGuest(id);
    return status;
}
