#include "dbuspowerassertions.h"
#include "mockbuses.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTest>

#include <signal.h>
#include <sys/prctl.h>

using Type = PowerAssertions::Type;
using Environment = DBusPowerAssertions::Environment;
using Service = MockBuses::Service;
using Services = QList<const Service *>;

// Non-ASCII on purpose: the reason travels as UTF-8 and must arrive intact.
const QString reason = QStringLiteral("Présentation « Veluna » en cours");
const Service *const gnome = &MockBuses::gnomeSession, *const power = &MockBuses::powerManagement,
                     *const saver = &MockBuses::screenSaver, *const portal = &MockBuses::portal,
                     *const logind = &MockBuses::logind;
constexpr Type sys = Type::PreventUserIdleSystemSleep, disp = Type::PreventUserIdleDisplaySleep;

// Which service an assertion is taken from, with which arguments; that release() gives back
// what that service handed out; that an id stays held while services come and go. No service
// is ever started by activation.
class TestDBusPowerAssertions : public QObject
{
    Q_OBJECT

    MockBuses m_buses;

private slots:
    void initTestCase() { QVERIFY(m_buses.startBuses()); }
    void cleanup()
    {
        m_buses.stopServices();
        QCOMPARE(m_buses.activated(), QStringList());
    }

    void takesTheFirstPresentServiceThatAcceptsAndGivesItBack_data()
    {
        QTest::addColumn<Type>("type");
        QTest::addColumn<Services>("present");
        QTest::addColumn<const Service *>("chosen"); // none: unsupported
        QTest::addColumn<QString>("arguments"); // what the chosen one holds; %1 is the reason
        QTest::addColumn<Services>("refusing");
        QTest::addColumn<Environment>("environment");
        const auto row = [](const char *name, Type type, Services present, const Service *chosen,
                            const char *arguments, Services refusing = {},
                            Environment environment = Environment::Desktop) {
            QTest::newRow(name) << type << present << chosen << QString(arguments) << refusing
                                << environment;
        };
        row("system: session manager", sys, { gnome, power, portal, logind, saver }, gnome,
            "veluna|0|%1|4");
        row("system: power management", sys, { power, portal, logind, saver }, power, "Veluna|%1");
        row("system: portal", sys, { portal, logind, saver }, portal, "|4|%1");
        row("system: logind, never the screensaver", sys, { logind, saver }, logind,
            "idle|Veluna|%1|block");
        row("display: screensaver", disp, { saver, gnome, portal, logind, power }, saver,
            "Veluna|%1");
        row("display: session manager", disp, { gnome, portal, logind, power }, gnome,
            "veluna|0|%1|12");
        row("display: portal", disp, { portal, logind, power }, portal, "|8|%1");
        row("display: logind, never power management", disp, { logind, power }, logind,
            "idle|Veluna|%1|block");
        row("flatpak: the portal first", sys, { gnome, saver, portal, logind }, portal, "|4|%1", {},
            Environment::FlatpakSandbox);
        row("past refusing services", disp, { power, portal }, portal, "|8|%1", { saver, gnome });
        row("refused or absent everywhere", sys, {}, nullptr, "", { gnome, portal });
    }
    void takesTheFirstPresentServiceThatAcceptsAndGivesItBack()
    {
        QFETCH(Type, type);
        QFETCH(Services, present);
        QFETCH(const Service *, chosen);
        QFETCH(QString, arguments);
        QFETCH(Services, refusing);
        QFETCH(Environment, environment);
        QVERIFY(m_buses.start(present) && m_buses.start(refusing, { { "refuse", true } }));
        DBusPowerAssertions assertions(environment);

        const PowerAssertions::Result result = assertions.create(type, reason);
        QCOMPARE(result.code, chosen ? PowerAssertions::success : PowerAssertions::unsupported);
        QCOMPARE(result.id, chosen ? 1u : 0u);
        for (const Service *service : refusing) {
            const QStringList state = m_buses.state(*service);
            QVERIFY2(state.size() == 1 && state[0].startsWith("refused|"),
                     qPrintable(state.join(',')));
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

    void stalledServiceCostsOnlyAShortTimeout()
    {
        QVERIFY(m_buses.start({ gnome }, { { "stall_seconds", 8 } }) && m_buses.start({ logind }));
        DBusPowerAssertions assertions(Environment::Desktop);
        QElapsedTimer elapsed;
        elapsed.start();
        QVERIFY(assertions.create(sys, reason).ok());
        // The D-Bus default would be 25 s; the mock answers only after 8 s.
        QVERIFY2(elapsed.elapsed() < 6000, qPrintable(QString::number(elapsed.elapsed())));
        QCOMPARE(m_buses.state(*logind), QStringList { "idle|Veluna|" + reason + "|block" });
    }

    void holdsLostWithTheirServiceAreTakenAgain_data()
    {
        QTest::addColumn<Services>("present");
        QTest::addColumn<const Service *>("lost");
        QTest::addColumn<const Service *>("next");
        QTest::addColumn<QStringList>("held"); // by the next service, afterwards
        const auto row = [](const char *name, Services present, const Service *lost,
                            const Service *next, const QString &system, const QString &display) {
            QTest::newRow(name) << present << lost << next << QStringList { system, display };
        };
        row("session manager gone: logind takes both", { gnome, logind }, gnome, logind,
            "idle|Veluna|system|block", "idle|Veluna|display|block");
        // The system hold stays as it was: taken again, it would be there twice.
        row("screensaver gone: the session manager takes the display", { saver, gnome }, saver,
            gnome, "veluna|0|system|4", "veluna|0|display|12");
        // The name passes straight to a new process; a cookie of the old process given back to
        // the new one would show as "unknown|4101".
        row("session manager replaced by a new process, which is asked again", { gnome }, gnome,
            gnome, "veluna|0|system|4", "veluna|0|display|12");
    }
    void holdsLostWithTheirServiceAreTakenAgain()
    {
        QFETCH(Services, present);
        QFETCH(const Service *, lost);
        QFETCH(const Service *, next);
        QFETCH(QStringList, held);
        QVERIFY(m_buses.start(present));
        DBusPowerAssertions assertions(Environment::Desktop);
        const quint32 system = assertions.create(sys, "system").id;
        const quint32 display = assertions.create(disp, "display").id;
        QVERIFY(system && display);

        QVERIFY(next == lost ? m_buses.start({ next }) : m_buses.stop(*lost));
        QTRY_COMPARE_WITH_TIMEOUT(m_buses.state(*next), held, 5000);
        // Same ids, new holder: releasing them gives back what the next service handed out.
        assertions.release(system);
        assertions.release(display);
        QTRY_COMPARE_WITH_TIMEOUT(m_buses.state(*next), QStringList(), 5000);
    }

    void holdsWaitWhenNothingIsLeftAndReturnWithAService()
    {
        QVERIFY(m_buses.start({ logind }));
        auto assertions = std::make_unique<DBusPowerAssertions>(Environment::Desktop);
        QCOMPARE(assertions->create(sys, "kept").id, 1u);
        QCOMPARE(assertions->create(sys, "dropped").id, 2u);
        QVERIFY(m_buses.stop(*logind));
        // Released while waiting, a hold is forgotten: only the other one is taken again.
        assertions->release(2);
        QVERIFY(m_buses.start({ gnome }));
        QTRY_COMPARE_WITH_TIMEOUT(m_buses.state(*gnome), QStringList { "veluna|0|kept|4" }, 5000);
        QCOMPARE(assertions->create(disp, "third").id, 3u);
        // A cookie given back twice would show as "unknown|4101"; unknown ids are ignored.
        assertions->release(1);
        assertions->release(1);
        assertions->release(99);
        QCOMPARE(m_buses.state(*gnome), QStringList { "veluna|0|third|12" });
        assertions.reset();
        QCOMPARE(m_buses.state(*gnome), QStringList());
    }

    // Killed outright, a holder still lets go: logind's lock lives only in the descriptor, which
    // dies with the process, provided the child the helper started did not inherit a copy.
    void killedHolderLeavesNoLockEvenWithAChildStillRunning()
    {
        QVERIFY(m_buses.start({ logind }));
        QProcess holder;
        holder.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        holder.start(VELUNA_HOLD_HELPER);
        QVERIFY(holder.waitForReadyRead(10000)); // one line, written at once
        const QStringList words = QString::fromUtf8(holder.readLine()).split(' ');
        const pid_t child = words.value(0) == "held" ? words.value(3).toInt() : 0;
        QVERIFY2(child > 0, qPrintable(words.join(' ')));
        const auto killChild = qScopeGuard([child] { ::kill(child, SIGKILL); });
        QCOMPARE(m_buses.state(*logind), QStringList { "idle|Veluna|held by helper|block" });

        holder.kill();
        QVERIFY(holder.waitForFinished());
        QTRY_COMPARE_WITH_TIMEOUT(m_buses.state(*logind), QStringList(), 5000);
        QCOMPARE(::kill(child, 0), 0); // only meaningful while the child lives
    }
};

QTEST_GUILESS_MAIN(TestDBusPowerAssertions)
#include "tst_dbuspowerassertions.moc"
