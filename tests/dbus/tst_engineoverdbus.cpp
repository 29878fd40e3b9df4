// SPDX-License-Identifier: MIT
#include "awakeengine.h"
#include "dbuspowerassertions.h"
#include "localisation.h"
#include "manualclock.h"
#include "mockbuses.h"

#include <QTest>

using namespace std::chrono_literals;

// The awake engine on the real D-Bus layer: what the user starts is what logind holds, and
// stopping, quitting or the end of a timed period lets go of all of it.
class TestEngineOverDBus : public QObject
{
    Q_OBJECT

    MockBuses m_buses;
    ManualClock m_clock;

private slots:
    void initTestCase() { QVERIFY(m_buses.startBuses()); }
    void cleanup() { m_buses.stopServices(); }

    void periodHoldsLogindUntilItEnds_data()
    {
        QTest::addColumn<QString>("ending"); // a timed period runs 30 minutes, machine only
        QTest::newRow("until stopped, display too") << "stop";
        QTest::newRow("until the program quits, display too") << "quit";
        QTest::newRow("for 30 minutes, machine only") << "clock";
    }
    void periodHoldsLogindUntilItEnds()
    {
        QFETCH(QString, ending);
        const bool timed = ending == "clock";
        QVERIFY(m_buses.start({ &MockBuses::logind }));
        auto engine
            = std::make_unique<AwakeEngine>(std::make_unique<DBusPowerAssertions>(DesktopPolicy(
                                                DesktopPolicy::Desktop::Other, false)),
                                            m_clock);
        QStringList held { "idle|Veluna|" + L("awake.assertion_reason_sleep") + "|block" };
        if (!timed)
            held << "idle|Veluna|" + L("awake.assertion_reason_display") + "|block";

        engine->start(timed ? 30 : 0, !timed);
        m_clock.advance(29min);
        QVERIFY(engine->isActive());
        QTRY_COMPARE(m_buses.state(MockBuses::logind), held);
        QTRY_VERIFY(engine->holder());
        const std::optional<PowerAssertions::Holder> holder = engine->holder();
        QCOMPARE(holder->serviceKey, "holder.service_logind");
        if (ending == "stop")
            engine->stop();
        else if (ending == "quit")
            engine.reset();
        else
            m_clock.advance(1min);
        QVERIFY(!engine || !engine->isActive());
        QTRY_COMPARE_WITH_TIMEOUT(m_buses.state(MockBuses::logind), QStringList(), 5000);
    }
};

QTEST_GUILESS_MAIN(TestEngineOverDBus)
#include "tst_engineoverdbus.moc"
