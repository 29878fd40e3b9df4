#include "dbuspowerassertions.h"
#include "mockbuses.h"

#include <QDBusServiceWatcher>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>

using Type = PowerAssertions::Type;
using Service = MockBuses::Service;
using Calls = QList<QVariantList>;

// What happens to held assertions when the desktop services come and go: the caller's id keeps
// meaning "held" as long as any service can hold it.
class TestInhibitRecovery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void lostHoldIsTakenFromTheNextService_data();
    void lostHoldIsTakenFromTheNextService();
    void otherHoldsAreLeftAlone();
    void holdWaitsWhenNothingIsLeftAndReturnsWithAService();
    void releasingAWaitingHoldForgetsIt();
    void serviceReplacedByANewProcessIsAskedAgain();

private:
    // Waits until this process's own bus connection has seen the name change owner, so the
    // assertions object has had its turn to react.
    bool waitForOwnerChange(QSignalSpy &spy);

    MockBuses m_buses;
};

namespace {

QString logindIdle(const QString &reason)
{
    return "idle|Veluna|" + reason + "|block";
}

int accessMode(const QString &process, const QString &descriptor)
{
    QFile info(QStringLiteral("/proc/%1/fdinfo/%2").arg(process, descriptor));
    if (!info.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : info.readAll().split('\n')) {
        if (line.startsWith("flags:"))
            return line.mid(6).trimmed().toInt(nullptr, 8) & O_ACCMODE;
    }
    return -1;
}

// The pipe ends a process has open with the given access (O_RDONLY or O_WRONLY), as the kernel
// names the pipes ("pipe:[inode]"): both ends of one pipe carry the same name.
QStringList pipeEnds(const QString &process, int mode)
{
    QStringList pipes;
    const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(process));
    for (const QString &entry : descriptors.entryList(QDir::Files | QDir::System)) {
        const QString target = QFile::symLinkTarget(descriptors.filePath(entry));
        if (target.contains(QLatin1String("pipe:[")) && accessMode(process, entry) == mode)
            pipes.append(target.mid(target.lastIndexOf(QLatin1Char('/')) + 1));
    }
    return pipes;
}

QDBusConnection ourBus(const Service &service)
{
    return service.bus == MockBuses::Bus::System ? QDBusConnection::systemBus()
                                                 : QDBusConnection::sessionBus();
}

} // namespace

void TestInhibitRecovery::initTestCase()
{
    QVERIFY(m_buses.startBuses());
}

void TestInhibitRecovery::cleanup()
{
    m_buses.stopServices();
}

bool TestInhibitRecovery::waitForOwnerChange(QSignalSpy &spy)
{
    if (spy.isEmpty() && !spy.wait(5000))
        return false;
    spy.clear();
    // Deliveries to watchers of one connection are queued together; let them all run.
    QTest::qWait(50);
    return true;
}

void TestInhibitRecovery::lostHoldIsTakenFromTheNextService_data()
{
    QTest::addColumn<Type>("type");
    QTest::addColumn<const Service *>("first");
    QTest::addColumn<const Service *>("next");
    QTest::addColumn<QVariantList>("nextArguments");

    QTest::newRow("system: session manager, then logind")
        << Type::PreventUserIdleSystemSleep << &MockBuses::gnomeSession << &MockBuses::logind
        << QVariantList { "idle", "Veluna", "meeting", "block" };
    QTest::newRow("display: screensaver, then session manager with idle and suspend flags")
        << Type::PreventUserIdleDisplaySleep << &MockBuses::screenSaver << &MockBuses::gnomeSession
        << QVariantList { "veluna", 0u, "meeting", 12u };
}

void TestInhibitRecovery::lostHoldIsTakenFromTheNextService()
{
    QFETCH(Type, type);
    QFETCH(const Service *, first);
    QFETCH(const Service *, next);
    QFETCH(QVariantList, nextArguments);
    QVERIFY(m_buses.start({ first, next }));
    DBusPowerAssertions power(DBusPowerAssertions::Environment::Desktop);
    const PowerAssertions::Result result = power.create(type, "meeting");
    QVERIFY(result.ok());
    QCOMPARE(m_buses.methodCalls(*next, "Inhibit"), Calls {});

    QVERIFY(m_buses.stop(*first));
    QTRY_COMPARE_WITH_TIMEOUT(m_buses.methodCalls(*next, "Inhibit"), Calls { nextArguments }, 5000);
    QCOMPARE(m_buses.held(*next).size(), 1);

    // Same id, new holder: releasing it gives back what the next service handed out.
    power.release(result.id);
    QTRY_COMPARE_WITH_TIMEOUT(m_buses.held(*next), QStringList(), 5000);
}

void TestInhibitRecovery::otherHoldsAreLeftAlone()
{
    QVERIFY(m_buses.start({ &MockBuses::gnomeSession, &MockBuses::screenSaver }));
    DBusPowerAssertions power(DBusPowerAssertions::Environment::Desktop);
    QVERIFY(power.create(Type::PreventUserIdleSystemSleep, "system").ok());
    QVERIFY(power.create(Type::PreventUserIdleDisplaySleep, "display").ok());

    QVERIFY(m_buses.stop(MockBuses::screenSaver));
    QTRY_COMPARE_WITH_TIMEOUT(m_buses.held(MockBuses::gnomeSession).size(), 2, 5000);
    QCOMPARE(m_buses.methodCalls(MockBuses::gnomeSession, "Inhibit"),
             (Calls { { "veluna", 0u, "system", 4u }, { "veluna", 0u, "display", 12u } }));
    QCOMPARE(m_buses.methodCalls(MockBuses::gnomeSession, "Uninhibit"), Calls {});
}

void TestInhibitRecovery::holdWaitsWhenNothingIsLeftAndReturnsWithAService()
{
    QVERIFY(m_buses.start(MockBuses::logind));
    DBusPowerAssertions power(DBusPowerAssertions::Environment::Desktop);
    const PowerAssertions::Result result = power.create(Type::PreventUserIdleSystemSleep, "long");
    QVERIFY(result.ok());
    // The lock is a pipe from us (the write end) to logind (the read end).
    const QString logindPid = QString::number(m_buses.ownerPid(MockBuses::logind));
    const QStringList logindEnds = pipeEnds(logindPid, O_RDONLY);
    QStringList ours;
    for (const QString &pipe : pipeEnds("self", O_WRONLY)) {
        if (logindEnds.contains(pipe))
            ours.append(pipe);
    }
    QCOMPARE(ours.size(), 1);

    // logind gone: our end of its lock must not linger in the process.
    QVERIFY(m_buses.stop(MockBuses::logind));
    QTRY_VERIFY_WITH_TIMEOUT(!pipeEnds("self", O_WRONLY).contains(ours.first()), 5000);

    QVERIFY(m_buses.start(MockBuses::gnomeSession));
    QTRY_COMPARE_WITH_TIMEOUT(m_buses.held(MockBuses::gnomeSession), QStringList { "4101" }, 5000);
    QCOMPARE(m_buses.methodCalls(MockBuses::gnomeSession, "Inhibit"),
             (Calls { { "veluna", 0u, "long", 4u } }));
    power.release(result.id);
    QCOMPARE(m_buses.methodCalls(MockBuses::gnomeSession, "Uninhibit"), Calls { { 4101u } });
    QCOMPARE(m_buses.held(MockBuses::gnomeSession), QStringList());
}

void TestInhibitRecovery::releasingAWaitingHoldForgetsIt()
{
    QVERIFY(m_buses.start(MockBuses::logind));
    DBusPowerAssertions power(DBusPowerAssertions::Environment::Desktop);
    QDBusServiceWatcher watcher(MockBuses::logind.busName, QDBusConnection::systemBus());
    QSignalSpy changes(&watcher, &QDBusServiceWatcher::serviceOwnerChanged);
    const PowerAssertions::Result result = power.create(Type::PreventUserIdleSystemSleep, "gone");
    QVERIFY(result.ok());

    QVERIFY(m_buses.stop(MockBuses::logind));
    QVERIFY(waitForOwnerChange(changes));
    power.release(result.id);
    QVERIFY(m_buses.start(MockBuses::logind));
    QVERIFY(waitForOwnerChange(changes));

    QCOMPARE(m_buses.held(MockBuses::logind), QStringList());
    QVERIFY(power.create(Type::PreventUserIdleSystemSleep, "after").ok());
    QCOMPARE(m_buses.held(MockBuses::logind), QStringList { logindIdle("after") });
}

void TestInhibitRecovery::serviceReplacedByANewProcessIsAskedAgain()
{
    QVERIFY(m_buses.start(MockBuses::gnomeSession));
    DBusPowerAssertions power(DBusPowerAssertions::Environment::Desktop);
    QDBusServiceWatcher watcher(MockBuses::gnomeSession.busName, ourBus(MockBuses::gnomeSession));
    QSignalSpy changes(&watcher, &QDBusServiceWatcher::serviceOwnerChanged);
    const PowerAssertions::Result result = power.create(Type::PreventUserIdleSystemSleep, "kept");
    QVERIFY(result.ok());

    // The name passes straight from the old process to the new one, with no gap in between.
    QVERIFY(m_buses.start(MockBuses::gnomeSession, { { "first_cookie", 7000 } }));
    QVERIFY(waitForOwnerChange(changes));
    QTRY_COMPARE_WITH_TIMEOUT(m_buses.held(MockBuses::gnomeSession), QStringList { "7000" }, 5000);

    power.release(result.id);
    QCOMPARE(m_buses.methodCalls(MockBuses::gnomeSession, "Uninhibit"), Calls { { 7000u } });
    QCOMPARE(m_buses.held(MockBuses::gnomeSession), QStringList());
}

QTEST_GUILESS_MAIN(TestInhibitRecovery)
#include "tst_inhibitrecovery.moc"
