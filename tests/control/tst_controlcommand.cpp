// SPDX-License-Identifier: MIT
// The command line as the user types it: every form a script may use, every kind of bad input,
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
    void forms_data();
    void forms();
    void badInput_data();
    void badInput();
    void runKeepsTheCommandAsTyped();
    void untilIsTheNextOccurrence_data();
    void untilIsTheNextOccurrence();
};

void TestControlCommand::forms_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<Action>("action");
    QTest::addColumn<qint64>("minutes");
    QTest::addColumn<qint64>("display");

    QTest::newRow("plain launch") << "" << Action::Launch << none << none;
    QTest::newRow("toolkit option") << "-platform offscreen" << Action::Launch << none << none;
    QTest::newRow("session restore") << "-session 10d3f" << Action::Launch << none << none;
    QTest::newRow("help") << "--help" << Action::Help << none << none;
    QTest::newRow("short help") << "-h" << Action::Help << none << none;
    QTest::newRow("version") << "--version" << Action::Version << none << none;
    QTest::newRow("start, default duration") << "start" << Action::Start << none << none;
    QTest::newRow("start unlimited") << "start unlimited" << Action::Start << 0ll << none;
    QTest::newRow("start 0") << "start 0" << Action::Start << 0ll << none;
    QTest::newRow("plain minutes") << "start 90" << Action::Start << 90ll << none;
    QTest::newRow("minutes") << "start 45m" << Action::Start << 45ll << none;
    QTest::newRow("hours") << "start 2h" << Action::Start << 120ll << none;
    QTest::newRow("hours and minutes") << "start 1h30m" << Action::Start << 90ll << none;
    QTest::newRow("longest") << "start 99h59m" << Action::Start << 5999ll << none;
    QTest::newRow("longest in minutes") << "start 5999" << Action::Start << 5999ll << none;
    QTest::newRow("capitals") << "start 1H5M" << Action::Start << 65ll << none;
    QTest::newRow("display") << "start 30m --display" << Action::Start << 30ll << 1ll;
    QTest::newRow("option first") << "--no-display start" << Action::Start << none << 0ll;
    QTest::newRow("until") << "until 18:30 --display" << Action::Until << none << 1ll;
    QTest::newRow("stop") << "stop" << Action::Stop << none << none;
    QTest::newRow("toggle") << "toggle" << Action::Toggle << none << none;
    QTest::newRow("extend") << "extend 15m" << Action::Extend << 15ll << none;
    QTest::newRow("status") << "status --json" << Action::Status << none << none;
    QTest::newRow("watch") << "watch 4242" << Action::Watch << none << none;
    QTest::newRow("run") << "run --display -- make -j2" << Action::Run << none << 1ll;
}

void TestControlCommand::forms()
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
}

void TestControlCommand::badInput_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("shown"); // what the one line must quote back

    QTest::newRow("unknown command") << "sleep"
                                     << "sleep";
    QTest::newRow("no command") << "--display"
                                << "";
    QTest::newRow("unknown option") << "start --forever"
                                    << "forever";
    QTest::newRow("negative") << "start -5"
                              << "5";
    QTest::newRow("too long in hours") << "start 100h"
                                       << "100h";
    QTest::newRow("too long in minutes") << "start 6000"
                                         << "6000";
    QTest::newRow("minutes past the hour") << "start 1h75m"
                                           << "1h75m";
    QTest::newRow("zero minutes") << "start 0m"
                                  << "0m";
    QTest::newRow("unit only") << "start h"
                               << "h";
    QTest::newRow("other digits") << "start \u0663\u0660"
                                  << "\u0663\u0660";
    QTest::newRow("two durations") << "start 5 10"
                                   << "10";
    QTest::newRow("both display choices") << "start --display --no-display"
                                          << "";
    QTest::newRow("option of another command") << "stop --json"
                                               << "--json";
    QTest::newRow("help with a command") << "--help start"
                                         << "--help";
    QTest::newRow("25 o'clock") << "until 25:00"
                                << "25:00";
    QTest::newRow("60 minutes") << "until 12:60"
                                << "12:60";
    QTest::newRow("no time") << "until"
                             << "";
    QTest::newRow("extend without time") << "extend"
                                         << "";
    QTest::newRow("extend unlimited") << "extend unlimited"
                                      << "unlimited";
    QTest::newRow("stop with argument") << "stop now"
                                        << "now";
    QTest::newRow("run without a command") << "run --"
                                           << "";
    QTest::newRow("watch no pid") << "watch"
                                  << "";
    QTest::newRow("watch a name") << "watch firefox"
                                  << "firefox";
    QTest::newRow("watch pid 0") << "watch 0"
                                 << "0";
    QTest::newRow("watch past pid range") << "watch 99999999999"
                                          << "99999999999";
}

void TestControlCommand::badInput()
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

void TestControlCommand::runKeepsTheCommandAsTyped()
{
    const ControlCommand command = ControlCommand::parse(
        { "veluna", "run", "--", "sh", "-c", "exit 7", "--display", "--help" });
    QVERIFY2(command.error().isEmpty(), qPrintable(command.error()));
    QCOMPARE(command.command(), QStringList({ "sh", "-c", "exit 7", "--display", "--help" }));
    QVERIFY(!command.keepDisplayAwake());
}

void TestControlCommand::untilIsTheNextOccurrence_data()
{
    QTest::addColumn<QString>("now");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("expected");

    QTest::newRow("later today") << "2026-03-10T09:15:30"
                                 << "18:30"
                                 << "2026-03-10T18:30:00";
    QTest::newRow("tomorrow") << "2026-03-10T09:15:30"
                              << "08:00"
                              << "2026-03-11T08:00:00";
    QTest::newRow("this very minute") << "2026-03-10T09:15:30"
                                      << "09:15"
                                      << "2026-03-11T09:15:00";
    QTest::newRow("midnight") << "2026-12-31T23:59:00"
                              << "00:00"
                              << "2027-01-01T00:00:00";
}

void TestControlCommand::untilIsTheNextOccurrence()
{
    QFETCH(QString, now);
    QFETCH(QString, time);
    QFETCH(QString, expected);

    const ControlCommand command = ControlCommand::parse(argv("until " + time));
    QCOMPARE(command.action(), Action::Until);
    const QDateTime at
        = ControlCommand::nextOccurrence(command.until(), QDateTime::fromString(now, Qt::ISODate));
    QCOMPARE(at, QDateTime::fromString(expected, Qt::ISODate));
}

QTEST_GUILESS_MAIN(TestControlCommand)
#include "tst_controlcommand.moc"
