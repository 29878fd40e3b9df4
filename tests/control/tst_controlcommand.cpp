// SPDX-License-Identifier: MIT
// The command line as the user types it: the forms a script may use, the kinds of bad input,
// and what each one asks for.

#include "controlcommand.h"

#include <QTest>

using Action = ControlCommand::Action;
Q_DECLARE_METATYPE(ControlCommand::Action)

namespace {
constexpr qint64 none = -1; // no minutes, no display choice

QStringList argv(const QString &line)
{
    return QStringList { QStringLiteral("veluna") } + line.split(u' ', Qt::SkipEmptyParts);
}
} // namespace

class TestControlCommand : public QObject
{
    Q_OBJECT

private slots:
    // Each asks for its action, with the minutes and display choice given (none when not).
    void forms_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<Action>("action");
        QTest::addColumn<qint64>("minutes");
        QTest::addColumn<qint64>("display");
        const std::tuple<const char *, const char *, Action, qint64, qint64> rows[] {
            { "session restore", "-session 10d3f", Action::Launch, none, none },
            { "start, default duration", "start", Action::Start, none, none },
            { "start unlimited", "start unlimited", Action::Start, 0, none },
            { "longest", "start 99h59m", Action::Start, 5999, none },
            { "display", "start 30m --display", Action::Start, 30, 1 },
            { "option first", "--no-display start", Action::Start, none, 0 },
            // What follows "--" is the command's, options included.
            { "run", "run --display -- sh --no-display --help", Action::Run, none, 1 },
        };
        for (const auto &[name, line, action, minutes, display] : rows)
            QTest::newRow(name) << QString(line) << action << minutes << display;
    }
    void forms()
    {
        QFETCH(QString, line);
        QFETCH(Action, action);
        QFETCH(qint64, minutes);
        QFETCH(qint64, display);
        const ControlCommand command = ControlCommand::parse(argv(line));
        QVERIFY2(command.error().isEmpty(), qPrintable(command.error()));
        QCOMPARE(command.action(), action);
        QCOMPARE(command.minutes().value_or(none), minutes);
        QCOMPARE(command.keepDisplayAwake() ? qint64(*command.keepDisplayAwake()) : none, display);
        if (action == Action::Run)
            QCOMPARE(command.command(), QStringList({ "sh", "--no-display", "--help" }));
    }

    // Each is one line that quotes back what was wrong, and asks for nothing.
    void badInput_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("shown");
        const std::pair<const char *, const char *> rows[] {
            { "sleep", "sleep" },
            { "--display", "" }, // no command
            { "start 6000", "6000" },
            { "start 0m", "0m" },
            { "start \u0663\u0660", "\u0663\u0660" }, // digits, but not ASCII ones
            { "start 5 10", "10" },
            { "stop --json", "--json" }, // an option of another command
            { "until 25:00", "25:00" },
            { "run --", "" },
            { "watch 0", "0" },
        };
        for (const auto &[line, shown] : rows)
            QTest::newRow(line) << QString::fromUtf8(line) << QString::fromUtf8(shown);
    }
    void badInput()
    {
        QFETCH(QString, line);
        QFETCH(QString, shown);
        const ControlCommand command = ControlCommand::parse(argv(line));
        QVERIFY(!command.error().isEmpty());
        QVERIFY2(!command.error().contains(u'\n'), qPrintable(command.error()));
        QVERIFY2(command.error().contains(shown), qPrintable(command.error()));
        QCOMPARE(command.action(), Action::Launch);
        QVERIFY(!command.minutes());
    }

    // A time already reached today, even this very minute, means tomorrow's (one still ahead
    // today: cli_session's until).
    void untilIsTheNextOccurrence_data()
    {
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("expected");
        const std::tuple<const char *, const char *, const char *, const char *> rows[] {
            { "this very minute", "2026-03-10T09:15:30", "09:15", "2026-03-11T09:15:00" },
            { "midnight", "2026-12-31T23:59:00", "00:00", "2027-01-01T00:00:00" },
        };
        for (const auto &[name, now, time, expected] : rows)
            QTest::newRow(name) << QString(now) << QString(time) << QString(expected);
    }
    void untilIsTheNextOccurrence()
    {
        QFETCH(QString, now);
        QFETCH(QString, time);
        QFETCH(QString, expected);
        const ControlCommand command = ControlCommand::parse(argv("until " + time));
        QCOMPARE(command.action(), Action::Until);
        QCOMPARE(ControlCommand::nextOccurrence(command.until(),
                                                QDateTime::fromString(now, Qt::ISODate)),
                 QDateTime::fromString(expected, Qt::ISODate));
    }
};

QTEST_GUILESS_MAIN(TestControlCommand)
#include "tst_controlcommand.moc"
