// SPDX-License-Identifier: MIT
#include "controlcommand.h"

#include "localisation.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <array>
#include <limits>

namespace {
using Action = ControlCommand::Action;

enum Option { Display = 1, NoDisplay = 2, Json = 4 };

struct Verb
{
    const char *name;
    Action action;
    int options; // the options this command accepts
};

constexpr std::array verbs {
    Verb { "start", Action::Start, Display | NoDisplay },
    Verb { "until", Action::Until, Display },
    Verb { "stop", Action::Stop, 0 },
    Verb { "toggle", Action::Toggle, 0 },
    Verb { "extend", Action::Extend, 0 },
    Verb { "status", Action::Status, Json },
    Verb { "run", Action::Run, Display },
    Verb { "watch", Action::Watch, 0 },
};

const Verb *findVerb(const QString &name)
{
    for (const Verb &verb : verbs) {
        if (name == QLatin1String(verb.name))
            return &verb;
    }
    return nullptr;
}

QString text(const char *key, const QString &argument = {})
{
    return argument.isNull() ? L(QString::fromLatin1(key)) : L(QString::fromLatin1(key), argument);
}

// Digits in ASCII only: the shell's user types these, and other scripts' digits are no number.
std::optional<qint64> number(const QString &digits)
{
    return digits.isEmpty() ? std::nullopt : std::optional(digits.toLongLong());
}

std::optional<qint64> withinRange(qint64 minutes)
{
    if (minutes < 1 || minutes > ControlCommand::maximumMinutes)
        return std::nullopt;
    return minutes;
}

std::optional<qint64> hoursAndMinutes(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^(?:([0-9]{1,3})h)?(?:([0-9]{1,4})m)?$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const std::optional<qint64> hours = number(match.captured(1));
    const std::optional<qint64> minutes = number(match.captured(2));
    if (hours && minutes.value_or(0) > 59)
        return std::nullopt;
    return withinRange(hours.value_or(0) * 60 + minutes.value_or(0));
}

struct Flags
{
    QCommandLineOption help { { QStringLiteral("h"), QStringLiteral("help") } };
    QCommandLineOption version { { QStringLiteral("v"), QStringLiteral("version") } };
    QCommandLineOption display { QStringLiteral("display") };
    QCommandLineOption noDisplay { QStringLiteral("no-display") };
    QCommandLineOption json { QStringLiteral("json") };

    int given(const QCommandLineParser &parser) const
    {
        return (parser.isSet(display) ? Display : 0) | (parser.isSet(noDisplay) ? NoDisplay : 0)
            | (parser.isSet(json) ? Json : 0);
    }
};

QString optionName(int option)
{
    switch (option) {
    case Display:
        return QStringLiteral("--display");
    case NoDisplay:
        return QStringLiteral("--no-display");
    default:
        return QStringLiteral("--json");
    }
}
} // namespace

ControlCommand ControlCommand::failed(const QString &error)
{
    ControlCommand command;
    command.m_error = error;
    return command;
}

bool ControlCommand::isToolkitOption(const QString &argument)
{
    static const QStringList options { "-platform",
                                       "-platformtheme",
                                       "-platformpluginpath",
                                       "-plugin",
                                       "-session",
                                       "-display",
                                       "-geometry",
                                       "-qwindowgeometry",
                                       "-qwindowtitle",
                                       "-qwindowicon",
                                       "-style",
                                       "-stylesheet",
                                       "-reverse",
                                       "-name",
                                       "-title",
                                       "-widgetcount",
                                       "-nograb",
                                       "-dograb",
                                       "-sync" };
    return options.contains(argument.section(u'=', 0, 0));
}

ControlCommand ControlCommand::parse(const QStringList &arguments)
{
    if (arguments.size() <= 1 || isToolkitOption(arguments.at(1)))
        return {};
    QCommandLineParser parser;
    const Flags flags;
    parser.addOptions({ flags.help, flags.version, flags.display, flags.noDisplay, flags.json });
    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        return failed(unknown.isEmpty() ? parser.errorText()
                                        : text("cli.unknown_option", unknown.constFirst()));
    }
    ControlCommand command;
    QStringList words = parser.positionalArguments();
    if (parser.isSet(flags.help) || parser.isSet(flags.version)) {
        if (!words.isEmpty() || flags.given(parser) != 0)
            return failed(text("cli.alone",
                               parser.isSet(flags.help) ? QStringLiteral("--help")
                                                        : QStringLiteral("--version")));
        command.m_action = parser.isSet(flags.help) ? Action::Help : Action::Version;
        return command;
    }
    if (words.isEmpty())
        return failed(text("cli.missing_command"));
    const Verb *verb = findVerb(words.takeFirst());
    if (!verb)
        return failed(text("cli.unknown_command", parser.positionalArguments().constFirst()));
    const int given = flags.given(parser);
    for (const int option : { Display, NoDisplay, Json }) {
        if ((given & option) && !(verb->options & option))
            return failed(text("cli.option_not_here", optionName(option)));
    }
    if ((given & Display) && (given & NoDisplay))
        return failed(text("cli.display_conflict"));
    command.m_action = verb->action;
    if (given & (Display | NoDisplay))
        command.m_keepDisplayAwake = (given & Display) != 0;
    command.m_json = (given & Json) != 0;
    if (!command.takeArguments(words))
        return failed(command.m_error);
    return command;
}

// Fills in the command's arguments, or its error.
bool ControlCommand::takeArguments(const QStringList &arguments)
{
    switch (m_action) {
    case Action::Start:
        return takeDuration(arguments, false);
    case Action::Extend:
        return takeDuration(arguments, true);
    case Action::Until:
        return takeUntil(arguments);
    case Action::Run:
        if (arguments.isEmpty())
            m_error = text("cli.missing_program");
        m_command = arguments;
        return m_error.isEmpty();
    case Action::Watch:
        return takePid(arguments);
    default:
        if (!arguments.isEmpty())
            m_error = text("cli.unexpected_argument", arguments.constFirst());
        return m_error.isEmpty();
    }
}

// One argument at most, or exactly one when required; false with the error set otherwise.
bool ControlCommand::takeOne(const QStringList &arguments, bool required, const char *missing)
{
    if (arguments.size() > 1)
        m_error = text("cli.unexpected_argument", arguments.at(1));
    else if (required && arguments.isEmpty())
        m_error = text(missing);
    return m_error.isEmpty() && !arguments.isEmpty();
}

bool ControlCommand::takeDuration(const QStringList &arguments, bool extension)
{
    if (!takeOne(arguments, extension, "cli.missing_duration"))
        return m_error.isEmpty();
    m_minutes = parseDuration(arguments.constFirst());
    if (!m_minutes || (extension && *m_minutes == 0)) {
        m_minutes.reset();
        m_error
            = text(extension ? "cli.bad_extension" : "cli.bad_duration", arguments.constFirst());
    }
    return m_error.isEmpty();
}

bool ControlCommand::takeUntil(const QStringList &arguments)
{
    if (!takeOne(arguments, true, "cli.missing_time"))
        return false;
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,2}):([0-9]{2})$"));
    const QRegularExpressionMatch match = form.match(arguments.constFirst());
    if (match.hasMatch())
        m_until = QTime(match.captured(1).toInt(), match.captured(2).toInt());
    if (!m_until.isValid())
        m_error = text("cli.bad_time", arguments.constFirst());
    return m_error.isEmpty();
}

bool ControlCommand::takePid(const QStringList &arguments)
{
    if (!takeOne(arguments, true, "cli.missing_pid"))
        return false;
    static const QRegularExpression form(QStringLiteral("^[0-9]{1,10}$"));
    if (form.match(arguments.constFirst()).hasMatch())
        m_pid = arguments.constFirst().toLongLong();
    if (m_pid < 1 || m_pid > std::numeric_limits<qint32>::max()) {
        m_pid = 0;
        m_error = text("cli.bad_pid", arguments.constFirst());
    }
    return m_error.isEmpty();
}

std::optional<qint64> ControlCommand::parseDuration(const QString &text)
{
    if (text.compare(QLatin1String("unlimited"), Qt::CaseInsensitive) == 0 || text == u'0')
        return 0;
    static const QRegularExpression minutesOnly(QStringLiteral("^[0-9]{1,4}$"));
    if (minutesOnly.match(text).hasMatch())
        return withinRange(text.toLongLong());
    return hoursAndMinutes(text);
}

QDateTime ControlCommand::nextOccurrence(QTime time, const QDateTime &now)
{
    const QDateTime today(now.date(), time, now.timeSpec());
    return today > now ? today : QDateTime(now.date().addDays(1), time, now.timeSpec());
}

QString ControlCommand::helpText()
{
    return text("cli.help");
}
