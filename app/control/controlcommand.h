// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QStringList>
#include <QTime>

#include <optional>

// One use of the command line, as parsed from the program's arguments and nothing else: what to
// do, with what, or the one-line reason it cannot be done. A launch without arguments is the
// desktop's plain launch. Parsing reads no clock, no settings and no bus, so every form can be
// checked alone; running the command is someone else's work.
class ControlCommand
{
public:
    enum class Action {
        Launch,
        Help,
        Version,
        Start,
        Until,
        Stop,
        Toggle,
        Extend,
        Status,
        Run,
        Watch
    };

    // What a command-line process exits with, besides a run command's own status.
    // Awake is also plain success, for the commands that do not report a state.
    enum ExitStatus { Awake = 0, Idle = 1, BadInput = 2, NotRunning = 3 };

    static constexpr qint64 maximumMinutes = 99 * 60 + 59;

    static ControlCommand parse(const QStringList &arguments);
    // Qt's own options, such as -platform or the -session a session manager restores with,
    // which make a plain launch rather than a command.
    static bool isToolkitOption(const QString &argument);
    // "unlimited" or "0" (0), whole minutes ("90"), or hours and minutes ("2h", "45m",
    // "1h30m"); nothing when malformed or longer than 99 h 59 min.
    static std::optional<qint64> parseDuration(const QString &text);
    // The next moment the clock shows `time`, within the coming 24 hours.
    static QDateTime nextOccurrence(QTime time, const QDateTime &now);
    static QString helpText();

    Action action() const { return m_action; }
    // Start: absent for the default duration, 0 for unlimited; Extend: the minutes to add.
    std::optional<qint64> minutes() const { return m_minutes; }
    // Absent: as the setting says.
    std::optional<bool> keepDisplayAwake() const { return m_keepDisplayAwake; }
    QTime until() const { return m_until; }
    bool json() const { return m_json; }
    qint64 pid() const { return m_pid; }
    const QStringList &command() const { return m_command; }
    // Set exactly when the arguments are bad input.
    const QString &error() const { return m_error; }

private:
    static ControlCommand failed(const QString &error);
    bool takeArguments(const QStringList &arguments);
    bool takeOne(const QStringList &arguments, bool required, const char *missing);
    bool takeDuration(const QStringList &arguments, bool extension);
    bool takeUntil(const QStringList &arguments);
    bool takePid(const QStringList &arguments);

    Action m_action = Action::Launch;
    std::optional<qint64> m_minutes;
    std::optional<bool> m_keepDisplayAwake;
    QTime m_until;
    bool m_json = false;
    qint64 m_pid = 0;
    QStringList m_command;
    QString m_error;
};
