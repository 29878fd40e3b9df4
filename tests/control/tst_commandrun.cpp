// SPDX-License-Identifier: MIT
// Keeping awake while a command runs: the command's exit status comes back as a shell reports it,
// and signals sent to us reach it. Watching a process is checked through the program by
// cli_session.

#include "commandrun.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class TestCommandRun : public QObject
{
    Q_OBJECT

private slots:
    void exitStatus_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<int>("status");
        QTest::newRow("killed by a signal")
            << QStringList { "sh", "-c", "kill -KILL $$" } << 128 + 9;
        QTest::newRow("found on PATH with arguments")
            << QStringList { "sh", "-c", "test \"$1\" = 'two words'", "sh", "two words" } << 0;
    }
    void exitStatus()
    {
        QFETCH(QStringList, command);
        QFETCH(int, status);
        CommandRun run;
        QSignalSpy finished(&run, &CommandRun::finished);
        QVERIFY2(run.start(command), qPrintable(run.errorText()));
        QVERIFY(run.pid() > 0);
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.constFirst().constFirst().toInt(), status);
    }

    void aCommandThatCannotStartIsNamed()
    {
        CommandRun run;
        QVERIFY(!run.start({ "veluna-no-such-command" }));
        QVERIFY(run.errorText().contains("veluna-no-such-command"));
    }

    // SIGTERM sent to us ends the command, which answers with its own status; we stay alive.
    void signalsArePassedOn()
    {
        const QTemporaryDir folder;
        const QString ready = folder.filePath("ready");
        CommandRun run;
        QSignalSpy finished(&run, &CommandRun::finished);
        QVERIFY(
            run.start({ "sh", "-c", "trap 'exit 42' TERM; : > \"$1\"; while :; do sleep 0.05; done",
                        "sh", ready }));
        QTRY_VERIFY(QFile::exists(ready)); // the trap is set
        ::raise(SIGTERM);
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.constFirst().constFirst().toInt(), 42);
    }
};

QTEST_GUILESS_MAIN(TestCommandRun)
#include "tst_commandrun.moc"
