// SPDX-License-Identifier: MIT
#include "admincommandline.h"

#include "adminoutput.h"
#include "crashcommands.h"
#include "database.h"
#include "figurecommands.h"
#include "inboxcommands.h"
#include "releasecommands.h"
#include "serverconfig.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>

namespace {
const char commands[] = "Commands:\n"
                        "  conversations             list conversations, open first, newest first\n"
                        "  show DEVICE               one conversation in full\n"
                        "  reply DEVICE TEXT|-       queue a message for the device's next sync\n"
                        "  close DEVICE              close a conversation\n"
                        "  reopen DEVICE             reopen a conversation\n"
                        "  crashes                   list crash groups\n"
                        "  crash ID                  one crash group with a sample stack\n"
                        "  publish VERSION --url URL --file PATH [--notes TEXT|-]\n"
                        "                            publish a release in the update feed\n"
                        "  releases                  list published releases\n"
                        "  figures                   devices seen in the last day and week";

// "-" stands for standard input, for texts longer than a command line holds comfortably.
QString textOrStandardInput(const QString &text)
{
    if (text != QLatin1String("-"))
        return text;
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(input.readAll()).trimmed();
}

// An SQLite file is made by the server's first start; a mistyped path must not make another.
bool exists(const QString &location, AdminOutput &output)
{
    if (Database::dialect(location) != Migrations::Dialect::Sqlite || QFileInfo::exists(location))
        return true;
    output.error(QStringLiteral("no database at %1; start veluna-server once, or name its "
                                "configuration with --config")
                     .arg(location));
    return false;
}
struct Context
{
    QSqlDatabase &db;
    AdminOutput &output;
    const QStringList &arguments;
    const QCommandLineParser &parser;
};

struct Command
{
    QLatin1String name;
    qsizetype arguments;
    ExitStatus (*run)(Context &);
};

ExitStatus publish(Context &c)
{
    const ReleaseCommands::Publication release {
        c.arguments[0], textOrStandardInput(c.parser.value(QStringLiteral("notes"))),
        c.parser.value(QStringLiteral("url")), c.parser.value(QStringLiteral("file"))
    };
    return ReleaseCommands(c.db, c.output).publish(release);
}

const Command table[] = {
    { QLatin1String("conversations"), 0,
      [](Context &c) { return InboxCommands(c.db, c.output).conversations(); } },
    { QLatin1String("show"), 1,
      [](Context &c) { return InboxCommands(c.db, c.output).show(c.arguments[0]); } },
    { QLatin1String("reply"), 2,
      [](Context &c) {
          return InboxCommands(c.db, c.output)
              .reply(c.arguments[0], textOrStandardInput(c.arguments[1]));
      } },
    { QLatin1String("close"), 1,
      [](Context &c) {
          return InboxCommands(c.db, c.output).setState(c.arguments[0], QStringLiteral("closed"));
      } },
    { QLatin1String("reopen"), 1,
      [](Context &c) {
          return InboxCommands(c.db, c.output).setState(c.arguments[0], QStringLiteral("open"));
      } },
    { QLatin1String("crashes"), 0,
      [](Context &c) { return CrashCommands(c.db, c.output).groups(); } },
    { QLatin1String("crash"), 1,
      [](Context &c) { return CrashCommands(c.db, c.output).group(c.arguments[0]); } },
    { QLatin1String("publish"), 1, publish },
    { QLatin1String("releases"), 0,
      [](Context &c) { return ReleaseCommands(c.db, c.output).releases(); } },
    { QLatin1String("figures"), 0,
      [](Context &c) { return FigureCommands(c.db, c.output).figures(); } },
};

const Command *commandOf(const QStringList &positional, AdminOutput &output)
{
    const QString name = positional.value(0);
    for (const Command &command : table) {
        if (command.name != name)
            continue;
        if (positional.size() - 1 == command.arguments)
            return &command;
        output.error(QStringLiteral("%1 takes %2 argument(s); see --help")
                         .arg(name, QString::number(command.arguments)));
        return nullptr;
    }
    output.error(name.isEmpty() ? QStringLiteral("no command given; see --help")
                                : QStringLiteral("unknown command %1; see --help").arg(name));
    return nullptr;
}

void addOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        QStringLiteral("The maker's command for veluna-server's database.\n\n")
        + QLatin1String(commands));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions(
        { { QStringLiteral("config"), QStringLiteral("veluna-server's configuration."),
            QStringLiteral("FILE") },
          { QStringLiteral("json"), QStringLiteral("Write JSON, for scripts.") },
          { QStringLiteral("notes"), QStringLiteral("publish: release notes, or - to read them."),
            QStringLiteral("TEXT") },
          { QStringLiteral("url"), QStringLiteral("publish: the download address."),
            QStringLiteral("URL") },
          { QStringLiteral("file"), QStringLiteral("publish: the file that address serves."),
            QStringLiteral("PATH") } });
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("What to do."),
                                 QStringLiteral("command [arguments]"));
}
} // namespace

ExitStatus AdminCommandLine::run(const QStringList &arguments)
{
    QCommandLineParser parser;
    addOptions(parser);
    const bool parsed = parser.parse(arguments);
    AdminOutput output(parsed && parser.isSet(QStringLiteral("json")));
    if (!parsed) {
        output.error(parser.errorText());
        return BadUsage;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        output.print(parser.helpText());
        return Done;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        output.print(QCoreApplication::applicationName() + u' '
                     + QCoreApplication::applicationVersion() + u'\n');
        return Done;
    }
    return runOnDatabase(parser, output);
}

ExitStatus AdminCommandLine::runOnDatabase(const QCommandLineParser &parser, AdminOutput &output)
{
    QStringList positional = parser.positionalArguments();
    const Command *command = commandOf(positional, output);
    if (!command)
        return BadUsage;
    const ServerConfig config = ServerConfig::load(parser.value(QStringLiteral("config")));
    if (!config.errors().isEmpty()) {
        output.error(config.errors().join(QStringLiteral("; ")));
        return BadUsage;
    }
    if (!exists(config.database(), output))
        return NotFound;
    QString error;
    std::optional<QSqlDatabase> db = Database::open(config, &error);
    if (!db) {
        output.error(QStringLiteral("database: ") + error);
        return DatabaseFailed;
    }
    positional.removeFirst();
    Context context { *db, output, positional, parser };
    const ExitStatus status = command->run(context);
    db.reset();
    Database::close();
    return status;
}
