#include "dbuspowerassertions.h"
#include "mockbuses.h"

#include <QDir>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QSet>
#include <QTest>

#include <signal.h>
#include <sys/prctl.h>

using Type = PowerAssertions::Type;
using Environment = DBusPowerAssertions::Environment;
using Service = MockBuses::Service;
using Services = QList<const Service *>;

// Power assertions against mocks of the real desktop services: which service an assertion is
// taken from, with exactly which arguments; that release() gives back exactly what the service
// handed out; and that the caller's id keeps meaning "held" while services come and go. No
// service is ever started by activation.
class TestDBusPowerAssertions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_buses.startBuses()); }
    void cleanup()
    {
        m_buses.stopServices();
        QCOMPARE(m_buses.activated(), QStringList());
    }

    void takesTheFirstPresentServiceThatAcceptsAndGivesItBack_data();
    void takesTheFirstPresentServiceThatAcceptsAndGivesItBack();
    void stalledServiceCostsOnlyAShortTimeout();
    void idsAreNeverReusedAndDestroyingGivesEverythingBack();
    void holdsLostWithTheirServiceAreTakenAgain_data();
    void holdsLostWithTheirServiceAreTakenAgain();
    void holdsWaitWhenNothingIsLeftAndReturnWithAService();
    void killedHolderLeavesNoLockEvenWithAChildStillRunning();

private:
    MockBuses m_buses;
};

namespace {

// Non-ASCII on purpose: the reason travels as UTF-8 and must arrive intact.
const QString reason = QStringLiteral("Présentation « Veluna » en cours");
const Service *const gnome = &MockBuses::gnomeSession, *const power = &MockBuses::powerManagement,
                     *const saver = &MockBuses::screenSaver, *const portal = &MockBuses::portal,
                     *const logind = &MockBuses::logind;
constexpr Type systemSleep = Type::PreventUserIdleSystemSleep;
constexpr Type displaySleep = Type::PreventUserIdleDisplaySleep;

// The pipes a process has open, by the kernel's names ("pipe:[inode]"), which both ends share.
QSet<QString> pipes(const QString &process)
{
    QSet<QString> found;
    const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(process));
    for (const QString &entry : descriptors.entryList(QDir::Files | QDir::System)) {
        const QString target = QFile::symLinkTarget(descriptors.filePath(entry));
        if (target.contains(QLatin1String("pipe:[")))
            found.insert(target.section(QLatin1Char('/'), -1));
    }
    return found;
}

} // namespace

void TestDBusPowerAssertions::takesTheFirstPresentServiceThatAcceptsAndGivesItBack_data()
{
    QTest::addColumn<Services>("present");
    QTest::addColumn<Services>("refusing");
    QTest::addColumn<Type>("type");
    QTest::addColumn<Environment>("environment");
    QTest::addColumn<const Service *>("chosen"); // none: unsupported
    QTest::addColumn<QString>("arguments"); // what the chosen one holds; %1 is the reason
    const auto row = [](const char *name, Services present, Services refusing, Type type,
                        const Service *chosen, const char *arguments,
                        Environment environment = Environment::Desktop) {
        QTest::newRow(name) << present << refusing << type << environment << chosen
                            << QString(arguments);
    };

    row("system: session manager, suspend flag, before all others",
        { gnome, power, portal, logind, saver }, {}, systemSleep, gnome, "veluna|0|%1|4");
    row("system: power management without a session manager", { power, portal, logind, saver }, {},
        systemSleep, power, "Veluna|%1");
    row("system: portal, suspend flag, before logind", { portal, logind, saver }, {}, systemSleep,
        portal, "|4|%1");
    row("system: logind idle lock; the screensaver is no sleep inhibitor", { logind, saver }, {},
        systemSleep, logind, "idle|Veluna|%1|block");
    row("display: screensaver before all others", { saver, gnome, portal, logind, power }, {},
        displaySleep, saver, "Veluna|%1");
    row("display: session manager, idle and suspend flags", { gnome, portal, logind, power }, {},
        displaySleep, gnome, "veluna|0|%1|12");
    row("display: portal, idle flag", { portal, logind, power }, {}, displaySleep, portal, "|8|%1");
    row("display: logind idle lock; power management keeps no screen on", { logind, power }, {},
        displaySleep, logind, "idle|Veluna|%1|block");
    row("flatpak system: portal first", { gnome, saver, portal, logind }, {}, systemSleep, portal,
        "|4|%1", Environment::FlatpakSandbox);
    row("flatpak display: portal first", { gnome, saver, portal, logind }, {}, displaySleep, portal,
        "|8|%1", Environment::FlatpakSandbox);
    row("system: past a refusing session manager", { power, portal }, { gnome }, systemSleep, power,
        "Veluna|%1");
    row("display: past a refusing screensaver and session manager", { power, portal },
        { saver, gnome }, displaySleep, portal, "|8|%1");
    row("system: refused everywhere", {}, { gnome, portal }, systemSleep, nullptr, "");
    row("system: nothing present", {}, {}, systemSleep, nullptr, "");
    row("display: nothing present", {}, {}, displaySleep, nullptr, "");
}

void TestDBusPowerAssertions::takesTheFirstPresentServiceThatAcceptsAndGivesItBack()
{
    QFETCH(Services, present);
    QFETCH(Services, refusing);
    QFETCH(Type, type);
    QFETCH(Environment, environment);
    QFETCH(const Service *, chosen);
    QFETCH(QString, arguments);
    QVERIFY(m_buses.start(present));
    QVERIFY(m_buses.start(refusing, { { "refuse", true } }));
    DBusPowerAssertions assertions(environment);

    const PowerAssertions::Result result = assertions.create(type, reason);
    QCOMPARE(result.code, chosen ? PowerAssertions::success : PowerAssertions::unsupported);
    QCOMPARE(result.id, chosen ? 1u : 0u);
    for (const Service *service : refusing) {
        const QStringList state = m_buses.state(*service);
        QVERIFY2(state.size() == 1 && state[0].startsWith("refused|"), qPrintable(state.join(',')));
    }
    for (const Service *service : present)
        QCOMPARE(m_buses.state(*service),
                 service == chosen ? QStringList { arguments.arg(reason) } : QStringList());
    // The mocks drop only the cookie or handle they handed out; logind sees the descriptor
    // closed from its own main loop, a moment later.
    assertions.release(result.id);
    if (chosen)
        QTRY_COMPARE_WITH_TIMEOUT(m_buses.state(*chosen), QStringList(), 5000);
}

void TestDBusPowerAssertions::stalledServiceCostsOnlyAShortTimeout()
{
    QVERIFY(m_buses.start({ gnome }, { { "stall_seconds", 8 } }));
    QVERIFY(m_buses.start({ logind }));
    DBusPowerAssertions assertions(Environment::Desktop);

    QElapsedTimer elapsed;
    elapsed.start();
    QVERIFY(assertions.create(systemSleep, reason).ok());
    // The D-Bus default would be 25 s; the mock answers only after 8 s.
    QVERIFY2(elapsed.elapsed() < 6000, qPrintable(QString::number(elapsed.elapsed())));
    QCOMPARE(m_buses.state(*logind), QStringList { "idle|Veluna|" + reason + "|block" });
}

void TestDBusPowerAssertions::idsAreNeverReusedAndDestroyingGivesEverythingBack()
{
    QVERIFY(m_buses.start({ gnome }));
    {
        DBusPowerAssertions assertions(Environment::Desktop);
        QCOMPARE(assertions.create(systemSleep, "first").id, 1u);
        QCOMPARE(assertions.create(displaySleep, "second").id, 2u);
        // A second release of the first cookie would show as "unknown|4101".
        assertions.release(1);
        assertions.release(1);
        assertions.release(99);
        QCOMPARE(m_buses.state(*gnome), QStringList { "veluna|0|second|12" });
        QCOMPARE(assertions.create(systemSleep, "third").id, 3u);
    }
    QCOMPARE(m_buses.state(*gnome), QStringList());
}

void TestDBusPowerAssertions::holdsLostWithTheirServiceAreTakenAgain_data()
{
    QTest::addColumn<Services>("present");
    QTest::addColumn<const Service *>("lost");
    QTest::addColumn<const Service *>("next");
    QTest::addColumn<QStringList>("held"); // by the next service, afterwards

    QTest::newRow("session manager gone: logind takes both")
        << Services { gnome, logind } << gnome << logind
        << QStringList { "idle|Veluna|system|block", "idle|Veluna|display|block" };
    // The system hold stays as it was: taken again, it would be there twice.
    QTest::newRow("screensaver gone: the session manager takes the display too")
        << Services { saver, gnome } << saver << gnome
        << QStringList { "veluna|0|system|4", "veluna|0|display|12" };
    // The name passes straight to a new process, with no gap in between; a cookie of the old
    // process given back to the new one would show as "unknown|4101".
    QTest::newRow("session manager replaced by a new process, which is asked again")
        << Services { gnome } << gnome << gnome
        << QStringList { "veluna|0|system|4", "veluna|0|display|12" };
}

void TestDBusPowerAssertions::holdsLostWithTheirServiceAreTakenAgain()
{
    QFETCH(Services, present);
    QFETCH(const Service *, lost);
    QFETCH(const Service *, next);
    QFETCH(QStringList, held);
    QVERIFY(m_buses.start(present));
    DBusPowerAssertions assertions(Environment::Desktop);
    const PowerAssertions::Result system = assertions.create(systemSleep, "system");
    const PowerAssertions::Result display = assertions.create(displaySleep, "display");
    QVERIFY(system.ok() && display.ok());

    QVERIFY(next == lost ? m_buses.start({ next }) : m_buses.stop(*lost));
    QTRY_COMPARE_WITH_TIMEOUT(m_buses.state(*next), held, 5000);

    // Same ids, new holder: releasing them gives back what the next service handed out.
    assertions.release(system.id);
    assertions.release(display.id);
    QTRY_COMPARE_WITH_TIMEOUT(m_buses.state(*next), QStringList(), 5000);
}

void TestDBusPowerAssertions::holdsWaitWhenNothingIsLeftAndReturnWithAService()
{
    QVERIFY(m_buses.start({ logind }));
    DBusPowerAssertions assertions(Environment::Desktop);
    const QSet<QString> before = pipes("self");
    const PowerAssertions::Result kept = assertions.create(systemSleep, "kept");
    const PowerAssertions::Result dropped = assertions.create(systemSleep, "dropped");
    QVERIFY(kept.ok() && dropped.ok());
    // Each lock is a pipe between us and logind.
    const QSet<QString> locks
        = (pipes("self") - before) & pipes(QString::number(m_buses.ownerPid(*logind)));
    QCOMPARE(locks.size(), 2);

    // logind gone: our ends of its locks must not linger in the process.
    QVERIFY(m_buses.stop(*logind));
    QTRY_VERIFY_WITH_TIMEOUT(!pipes("self").intersects(locks), 5000);

    // Released while waiting, a hold is forgotten: only the other one is taken again.
    assertions.release(dropped.id);
    QVERIFY(m_buses.start({ gnome }));
    QTRY_COMPARE_WITH_TIMEOUT(m_buses.state(*gnome), QStringList { "veluna|0|kept|4" }, 5000);
    assertions.release(kept.id);
    QCOMPARE(m_buses.state(*gnome), QStringList());
}

// Killed outright (SIGKILL, no destructor), a holder still lets go: logind's lock lives only in
// the descriptor, which dies with the process, provided no child inherited a copy.
void TestDBusPowerAssertions::killedHolderLeavesNoLockEvenWithAChildStillRunning()
{
    QVERIFY(m_buses.start({ logind }));
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
    QCOMPARE(m_buses.state(*logind), QStringList { "idle|Veluna|held by helper|block" });

    holder.kill();
    QVERIFY(holder.waitForFinished(5000));
    QTRY_COMPARE_WITH_TIMEOUT(m_buses.state(*logind), QStringList(), 5000);
    // Only meaningful while the child lives: an inherited copy would still hold the lock.
    QCOMPARE(::kill(child, 0), 0);
}

QTEST_GUILESS_MAIN(TestDBusPowerAssertions)
#include "tst_dbuspowerassertions.moc"
