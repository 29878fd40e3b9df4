// SPDX-License-Identifier: MIT
// Keeping awake while a command runs: the command's exit status comes back as a shell reports it.
// A plain exit status, a command that cannot start (127) and watching a process are checked
// through the program by cli_session.

#include "commandrun.h"

#include <QSignalSpy>
#include <QTest>

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
};

QTEST_GUILESS_MAIN(TestCommandRun)
#include "tst_commandrun.moc"
