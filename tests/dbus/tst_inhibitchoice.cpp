#include "dbuspowerassertions.h"
#include "mockbuses.h"

#include <QElapsedTimer>
#include <QTest>

using Type = PowerAssertions::Type;
using Service = MockBuses::Service;
using Calls = QList<QVariantList>;

// Which desktop service an assertion is taken from, with exactly which arguments, and that
// release() gives the service back exactly what it handed out.
class TestInhibitChoice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void takesTheFirstPresentServiceAndGivesBackItsToken_data();
    void takesTheFirstPresentServiceAndGivesBackItsToken();
    void nothingPresentIsUnsupportedAndNoServiceIsCalled();
    void refusingServiceFallsThroughToTheNext();
    void refusalEverywhereIsUnsupported();
    void stalledServiceCostsOnlyAShortTimeout();
    void flatpakSandboxAsksThePortalFirst();
    void idsAreOursStartAtOneAndAreNeverReused();
    void destroyingGivesEverythingBack();

private:
    MockBuses m_buses;
};

namespace {

// Non-ASCII on purpose: the reason travels as UTF-8 and must arrive intact.
const QString reason = QStringLiteral("Présentation « Veluna » en cours");

QVariantMap withReason(const QString &text)
{
    return { { QStringLiteral("reason"), text } };
}

} // namespace

void TestInhibitChoice::initTestCase()
{
    QVERIFY(m_buses.startBuses());
}

void TestInhibitChoice::cleanup()
{
    m_buses.stopServices();
}

void TestInhibitChoice::takesTheFirstPresentServiceAndGivesBackItsToken_data()
{
    QTest::addColumn<QList<const Service *>>("present");
    QTest::addColumn<Type>("type");
    QTest::addColumn<const Service *>("chosen");
    QTest::addColumn<QVariantList>("inhibitArguments");
    QTest::addColumn<QString>("releaseMethod");

    const Service *gnome = &MockBuses::gnomeSession, *power = &MockBuses::powerManagement,
                  *saver = &MockBuses::screenSaver, *portal = &MockBuses::portal,
                  *logind = &MockBuses::logind;
    const Type system = Type::PreventUserIdleSystemSleep;
    const Type display = Type::PreventUserIdleDisplaySleep;
    const QVariantList logindIdle { "idle", "Veluna", reason, "block" };

    QTest::newRow("system: session manager, suspend flag, before all others")
        << QList { gnome, power, portal, logind, saver } << system << gnome
        << QVariantList { "veluna", 0u, reason, 4u } << "Uninhibit";
    QTest::newRow("system: power management without a session manager")
        << QList { power, portal, logind, saver } << system << power
        << QVariantList { "Veluna", reason } << "UnInhibit";
    QTest::newRow("system: portal, suspend flag, before logind")
        << QList { portal, logind, saver } << system << portal
        << QVariantList { "", 4u, withReason(reason) } << "Close";
    QTest::newRow("system: logind idle lock; the screensaver is no sleep inhibitor")
        << QList { logind, saver } << system << logind << logindIdle << "";
    QTest::newRow("display: screensaver before all others")
        << QList { saver, gnome, portal, logind, power } << display << saver
        << QVariantList { "Veluna", reason } << "UnInhibit";
    QTest::newRow("display: session manager, idle and suspend flags")
        << QList { gnome, portal, logind, power } << display << gnome
        << QVariantList { "veluna", 0u, reason, 12u } << "Uninhibit";
    QTest::newRow("display: portal, idle flag")
        << QList { portal, logind, power } << display << portal
        << QVariantList { "", 8u, withReason(reason) } << "Close";
    QTest::newRow("display: logind idle lock; power management keeps no screen on")
        << QList { logind, power } << display << logind << logindIdle << "";
}

void TestInhibitChoice::takesTheFirstPresentServiceAndGivesBackItsToken()
{
    QFETCH(QList<const Service *>, present);
    QFETCH(Type, type);
    QFETCH(const Service *, chosen);
    QFETCH(QVariantList, inhibitArguments);
    QFETCH(QString, releaseMethod);
    QVERIFY(m_buses.start(present));
    DBusPowerAssertions power(DBusPowerAssertions::Environment::Desktop);

    const PowerAssertions::Result result = power.create(type, reason);
    QCOMPARE(result.code, PowerAssertions::success);
    QCOMPARE(m_buses.methodCalls(*chosen, "Inhibit"), Calls { inhibitArguments });
    for (const Service *other : present) {
        if (other != chosen)
            QCOMPARE(m_buses.methodCalls(*other, "Inhibit"), Calls {});
    }
    const QStringList held = m_buses.held(*chosen);
    QCOMPARE(held.size(), 1);

    power.release(result.id);
    if (releaseMethod == "Close")
        QCOMPARE(m_buses.methodCalls(*chosen, "Close", held.first()).size(), 1);
    else if (!releaseMethod.isEmpty())
        QCOMPARE(m_buses.methodCalls(*chosen, releaseMethod), Calls { { held.first().toUInt() } });
    // logind sees the descriptor closed from its own main loop, a moment later.
    QTRY_COMPARE_WITH_TIMEOUT(m_buses.held(*chosen), QStringList(), 5000);
}

void TestInhibitChoice::nothingPresentIsUnsupportedAndNoServiceIsCalled()
{
    QVERIFY(m_buses.startMonitor(MockBuses::Bus::Session));
    QVERIFY(m_buses.startMonitor(MockBuses::Bus::System));
    DBusPowerAssertions power(DBusPowerAssertions::Environment::Desktop);

    for (Type type : { Type::PreventUserIdleSystemSleep, Type::PreventUserIdleDisplaySleep }) {
        const PowerAssertions::Result result = power.create(type, reason);
        QCOMPARE(result.code, PowerAssertions::unsupported);
        QCOMPARE(result.id, 0u);
    }
    // Only the bus itself was asked (who owns which name); a call to an absent service would
    // wait for an activation or an error instead.
    for (MockBuses::Bus bus : { MockBuses::Bus::Session, MockBuses::Bus::System }) {
        const std::optional<QStringList> calls = m_buses.callsSeen(bus);
        QVERIFY(calls);
        QVERIFY(calls->contains("org.freedesktop.DBus org.freedesktop.DBus.NameHasOwner"));
        for (const QString &call : *calls)
            QVERIFY2(call.startsWith("org.freedesktop.DBus "), qPrintable(call));
    }
}

void TestInhibitChoice::refusingServiceFallsThroughToTheNext()
{
    QVERIFY(m_buses.start(MockBuses::gnomeSession, { { "refuse", true } }));
    QVERIFY(m_buses.start(MockBuses::screenSaver, { { "refuse", true } }));
    QVERIFY(m_buses.start({ &MockBuses::powerManagement, &MockBuses::portal }));
    DBusPowerAssertions power(DBusPowerAssertions::Environment::Desktop);

    QVERIFY(power.create(Type::PreventUserIdleSystemSleep, reason).ok());
    QCOMPARE(m_buses.methodCalls(MockBuses::gnomeSession, "Inhibit").size(), 1);
    QCOMPARE(m_buses.held(MockBuses::powerManagement).size(), 1);

    QVERIFY(power.create(Type::PreventUserIdleDisplaySleep, reason).ok());
    QCOMPARE(m_buses.methodCalls(MockBuses::screenSaver, "Inhibit").size(), 1);
    QCOMPARE(m_buses.methodCalls(MockBuses::gnomeSession, "Inhibit").size(), 2);
    QCOMPARE(m_buses.methodCalls(MockBuses::portal, "Inhibit"),
             (Calls { { "", 8u, withReason(reason) } }));
    QCOMPARE(m_buses.held(MockBuses::portal).size(), 1);
}

void TestInhibitChoice::refusalEverywhereIsUnsupported()
{
    QVERIFY(m_buses.start(MockBuses::gnomeSession, { { "refuse", true } }));
    QVERIFY(m_buses.start(MockBuses::portal, { { "refuse", true } }));
    DBusPowerAssertions power(DBusPowerAssertions::Environment::Desktop);

    const PowerAssertions::Result result = power.create(Type::PreventUserIdleSystemSleep, reason);
    QCOMPARE(result.code, PowerAssertions::unsupported);
    QCOMPARE(result.id, 0u);
    QCOMPARE(m_buses.methodCalls(MockBuses::gnomeSession, "Inhibit").size(), 1);
    QCOMPARE(m_buses.methodCalls(MockBuses::portal, "Inhibit").size(), 1);
}

void TestInhibitChoice::stalledServiceCostsOnlyAShortTimeout()
{
    QVERIFY(m_buses.start(MockBuses::gnomeSession, { { "stall_seconds", 8 } }));
    QVERIFY(m_buses.start(MockBuses::logind));
    DBusPowerAssertions power(DBusPowerAssertions::Environment::Desktop);

    QElapsedTimer elapsed;
    elapsed.start();
    QVERIFY(power.create(Type::PreventUserIdleSystemSleep, reason).ok());
    // The D-Bus default would be 25 s; the mock answers only after 8 s.
    QVERIFY2(elapsed.elapsed() < 6000, qPrintable(QString::number(elapsed.elapsed())));
    QCOMPARE(m_buses.held(MockBuses::logind), QStringList { "idle|Veluna|" + reason + "|block" });
}

void TestInhibitChoice::flatpakSandboxAsksThePortalFirst()
{
    QVERIFY(m_buses.start({ &MockBuses::gnomeSession, &MockBuses::screenSaver, &MockBuses::portal,
                            &MockBuses::logind }));
    DBusPowerAssertions power(DBusPowerAssertions::Environment::FlatpakSandbox);

    const auto system = power.create(Type::PreventUserIdleSystemSleep, "system");
    const auto display = power.create(Type::PreventUserIdleDisplaySleep, "display");
    QVERIFY(system.ok() && display.ok());
    QCOMPARE(m_buses.methodCalls(MockBuses::portal, "Inhibit"),
             (Calls { { "", 4u, withReason("system") }, { "", 8u, withReason("display") } }));
    QCOMPARE(m_buses.methodCalls(MockBuses::gnomeSession, "Inhibit"), Calls {});
    QCOMPARE(m_buses.methodCalls(MockBuses::screenSaver, "Inhibit"), Calls {});

    const QStringList handles = m_buses.held(MockBuses::portal);
    QCOMPARE(handles.size(), 2);
    power.release(display.id);
    QCOMPARE(m_buses.held(MockBuses::portal), QStringList { handles.first() });
}

void TestInhibitChoice::idsAreOursStartAtOneAndAreNeverReused()
{
    QVERIFY(m_buses.start({ &MockBuses::gnomeSession }));
    DBusPowerAssertions power(DBusPowerAssertions::Environment::Desktop);

    const auto first = power.create(Type::PreventUserIdleSystemSleep, "first");
    const auto second = power.create(Type::PreventUserIdleDisplaySleep, "second");
    QCOMPARE(first.id, 1u);
    QCOMPARE(second.id, 2u);
    QCOMPARE(m_buses.held(MockBuses::gnomeSession), (QStringList { "4101", "4102" }));

    power.release(first.id);
    power.release(first.id);
    power.release(99);
    QCOMPARE(m_buses.methodCalls(MockBuses::gnomeSession, "Uninhibit"), Calls { { 4101u } });
    QCOMPARE(m_buses.held(MockBuses::gnomeSession), QStringList { "4102" });
    QCOMPARE(power.create(Type::PreventUserIdleSystemSleep, "third").id, 3u);
}

void TestInhibitChoice::destroyingGivesEverythingBack()
{
    QVERIFY(m_buses.start({ &MockBuses::screenSaver, &MockBuses::logind }));
    {
        DBusPowerAssertions power(DBusPowerAssertions::Environment::Desktop);
        QVERIFY(power.create(Type::PreventUserIdleSystemSleep, reason).ok());
        QVERIFY(power.create(Type::PreventUserIdleDisplaySleep, reason).ok());
        QCOMPARE(m_buses.held(MockBuses::logind).size(), 1);
        QCOMPARE(m_buses.held(MockBuses::screenSaver).size(), 1);
    }
    QCOMPARE(m_buses.held(MockBuses::screenSaver), QStringList());
    QTRY_COMPARE_WITH_TIMEOUT(m_buses.held(MockBuses::logind), QStringList(), 5000);
}

QTEST_GUILESS_MAIN(TestInhibitChoice)
#include "tst_inhibitchoice.moc"
