#include "awakeengine.h"
#include "dbuspowerassertions.h"
#include "localisation.h"
#include "manualclock.h"
#include "mockbuses.h"

#include <QTest>

using namespace std::chrono_literals;

// The awake engine on the real D-Bus layer: what the user starts, toggles and stops is what
// logind holds, and a timed period lets go of it by itself.
class TestEngineOverDBus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_buses.startBuses()); }
    void cleanup() { m_buses.stopServices(); }

    void periodHoldsLogindUntilItEnds_data();
    void periodHoldsLogindUntilItEnds();

private:
    MockBuses m_buses;
    ManualClock m_clock;
};

void TestEngineOverDBus::periodHoldsLogindUntilItEnds_data()
{
    QTest::addColumn<int>("minutes");
    QTest::addColumn<bool>("display");
    QTest::addColumn<QString>("ending");

    QTest::newRow("until stopped, display too") << 0 << true << "stop";
    QTest::newRow("until the program quits, display too") << 0 << true << "quit";
    QTest::newRow("for 30 minutes, machine only") << 30 << false << "clock";
}

void TestEngineOverDBus::periodHoldsLogindUntilItEnds()
{
    QFETCH(int, minutes);
    QFETCH(bool, display);
    QFETCH(QString, ending);
    QVERIFY(m_buses.start({ &MockBuses::logind }));
    auto engine = std::make_unique<AwakeEngine>(
        std::make_unique<DBusPowerAssertions>(DBusPowerAssertions::Environment::Desktop), m_clock);
    const QString sleepLock = "idle|Veluna|" + L("awake.assertion_reason_sleep") + "|block";
    const QStringList both { sleepLock,
                             "idle|Veluna|" + L("awake.assertion_reason_display") + "|block" };
    const QStringList held = display ? both : QStringList { sleepLock };
    const QStringList toggled = display ? QStringList { sleepLock } : both;

    engine->start(minutes, display);
    m_clock.advance(29min);
    QVERIFY(engine->isActive());
    QCOMPARE(m_buses.state(MockBuses::logind), held);
    // The display toggle touches only the display lock.
    engine->setDisplayAwake(!display);
    QTRY_COMPARE_WITH_TIMEOUT(m_buses.state(MockBuses::logind), toggled, 5000);
    engine->setDisplayAwake(display);
    QTRY_COMPARE_WITH_TIMEOUT(m_buses.state(MockBuses::logind), held, 5000);

    if (ending == "stop")
        engine->stop();
    else if (ending == "quit")
        engine.reset();
    else
        m_clock.advance(1min);
    QVERIFY(!engine || !engine->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(m_buses.state(MockBuses::logind), QStringList(), 5000);
}

QTEST_GUILESS_MAIN(TestEngineOverDBus)
#include "tst_engineoverdbus.moc"
