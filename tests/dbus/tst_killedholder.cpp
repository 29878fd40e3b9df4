#include "mockbuses.h"

#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <signal.h>
#include <sys/prctl.h>

// A holder killed outright (SIGKILL, no destructor) still lets go: logind's lock lives only in
// the descriptor, which dies with the process, provided no child inherited a copy.
class TestKilledHolder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void killedHolderLeavesNoLockEvenWithAChildStillRunning();

private:
    MockBuses m_buses;
};

void TestKilledHolder::initTestCase()
{
    QVERIFY(m_buses.startBuses());
}

void TestKilledHolder::cleanup()
{
    m_buses.stopServices();
}

void TestKilledHolder::killedHolderLeavesNoLockEvenWithAChildStillRunning()
{
    QVERIFY(m_buses.start(MockBuses::logind));
    QProcess holder;
    holder.setProgram(QStringLiteral(VELUNA_HOLD_HELPER));
    holder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    holder.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    holder.start();
    pid_t child = 0;
    const auto killChild = qScopeGuard([&] {
        if (child > 0)
            ::kill(child, SIGKILL);
    });

    QTRY_VERIFY_WITH_TIMEOUT(holder.canReadLine() || holder.state() == QProcess::NotRunning, 10000);
    const QStringList words = QString::fromUtf8(holder.readLine()).split(' ');
    QCOMPARE(words.value(0), QStringLiteral("held"));
    child = words.value(3).toInt();
    QVERIFY(child > 0);
    QCOMPARE(m_buses.held(MockBuses::logind), QStringList { "idle|Veluna|held by helper|block" });

    holder.kill();
    QVERIFY(holder.waitForFinished(5000));
    QTRY_COMPARE_WITH_TIMEOUT(m_buses.held(MockBuses::logind), QStringList(), 5000);
    // Only meaningful while the child lives: an inherited copy would still hold the lock.
    QCOMPARE(::kill(child, 0), 0);
}

QTEST_GUILESS_MAIN(TestKilledHolder)
#include "tst_killedholder.moc"
