// SPDX-License-Identifier: MIT
// Keeping awake while a command runs: the command's exit status comes back as a shell reports it,
// and signals sent to us reach it. A plain exit status, a command that cannot start (127) and
// watching a process are checked through the program by cli_session.

#include "commandrun.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class TestCommandRun : public QObject
{
    Q_OBJECT

private slots:
    // Ended by signal N, the command reports 128 + N, as a shell does.
    void aSignalEndsWithItsNumberPlus128()
    {
        CommandRun run;
        QSignalSpy finished(&run, &CommandRun::finished);
        QVERIFY2(run.start({ "sh", "-c", "kill -KILL $$" }), qPrintable(run.errorText()));
        QVERIFY(run.pid() > 0);
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.constFirst().constFirst().toInt(), 128 + 9);
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
