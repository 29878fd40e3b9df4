#include "awakeengine.h"
#include "dbuspowerassertions.h"
#include "localisation.h"
#include "manualclock.h"
#include "mockbuses.h"
#include "systemlog.h"

#include <QTest>

using namespace std::chrono_literals;

// The awake engine on the real D-Bus layer: what the user starts and stops is what the desktop
// services hold, and a timed period lets go of them by itself.
class TestEngineOverDBus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startAndStopTakeAndDropLogindLocks();
    void timedPeriodLetsGoOfLogindWhenItEnds();
    void displayToggleTouchesOnlyTheScreensaverHold();
    void nothingToAskLeavesTheEngineIdleAndLogsTheCode();

private:
    std::unique_ptr<AwakeEngine> makeEngine();

    MockBuses m_buses;
    ManualClock m_clock;
    QStringList m_log;
};

namespace {

QString logindIdle(const QString &reasonKey)
{
    return "idle|Veluna|" + L(reasonKey) + "|block";
}

} // namespace

void TestEngineOverDBus::initTestCase()
{
    QVERIFY(m_buses.startBuses());
}

void TestEngineOverDBus::init()
{
    m_log.clear();
    SystemLog::setObserver([this](const QString &line) { m_log.append(line); });
}

void TestEngineOverDBus::cleanup()
{
    SystemLog::setObserver({});
    m_buses.stopServices();
}

std::unique_ptr<AwakeEngine> TestEngineOverDBus::makeEngine()
{
    return std::make_unique<AwakeEngine>(
        std::make_unique<DBusPowerAssertions>(DBusPowerAssertions::Environment::Desktop), m_clock);
}

void TestEngineOverDBus::startAndStopTakeAndDropLogindLocks()
{
    QVERIFY(m_buses.start(MockBuses::logind));
    const auto engine = makeEngine();

    engine->start(0, true);
    QVERIFY(engine->isActive());
    QVERIFY(engine->isDisplayHeld());
    QCOMPARE(m_buses.held(MockBuses::logind),
             (QStringList { logindIdle("awake.assertion_reason_sleep"),
                            logindIdle("awake.assertion_reason_display") }));

    engine->stop();
    QVERIFY(!engine->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(m_buses.held(MockBuses::logind), QStringList(), 5000);
}

void TestEngineOverDBus::timedPeriodLetsGoOfLogindWhenItEnds()
{
    QVERIFY(m_buses.start(MockBuses::logind));
    const auto engine = makeEngine();

    engine->start(30, false);
    m_clock.advance(29min);
    QVERIFY(engine->isActive());
    QCOMPARE(m_buses.held(MockBuses::logind),
             QStringList { logindIdle("awake.assertion_reason_sleep") });

    m_clock.advance(1min);
    QVERIFY(!engine->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(m_buses.held(MockBuses::logind), QStringList(), 5000);
}

void TestEngineOverDBus::displayToggleTouchesOnlyTheScreensaverHold()
{
    QVERIFY(m_buses.start({ &MockBuses::gnomeSession, &MockBuses::screenSaver }));
    auto engine = makeEngine();

    engine->start(0, true);
    QCOMPARE(m_buses.held(MockBuses::gnomeSession), QStringList { "4101" });
    QCOMPARE(m_buses.held(MockBuses::screenSaver), QStringList { "6303" });
    engine->setDisplayAwake(false);
    QCOMPARE(m_buses.held(MockBuses::screenSaver), QStringList());
    QCOMPARE(m_buses.held(MockBuses::gnomeSession), QStringList { "4101" });
    engine->setDisplayAwake(true);
    QCOMPARE(m_buses.held(MockBuses::screenSaver), QStringList { "6304" });

    // Quitting while awake gives everything back.
    engine.reset();
    QCOMPARE(m_buses.held(MockBuses::gnomeSession), QStringList());
    QCOMPARE(m_buses.held(MockBuses::screenSaver), QStringList());
}

void TestEngineOverDBus::nothingToAskLeavesTheEngineIdleAndLogsTheCode()
{
    const auto engine = makeEngine();

    engine->start(30, true);
    QVERIFY(!engine->isActive());
    QVERIFY(!engine->isDisplayHeld());
    // The code of "unsupported", read as a signed 32-bit number.
    QCOMPARE(m_log, QStringList { "Veluna: création d'assertion échouée (-536870201)" });
}

QTEST_GUILESS_MAIN(TestEngineOverDBus)
#include "tst_engineoverdbus.moc"
