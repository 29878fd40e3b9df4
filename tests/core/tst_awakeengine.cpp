// SPDX-License-Identifier: MIT
#include "awakeengine.h"
#include "manualclock.h"
#include "memorypowerassertions.h"

#include <QTest>

using namespace std::chrono_literals;
using Type = PowerAssertions::Type;

class TestAwakeEngine : public QObject
{
    Q_OBJECT

    MemoryPowerAssertions *assertions = nullptr;
    std::unique_ptr<ManualClock> clock;
    std::unique_ptr<AwakeEngine> engine;
    int changes = 0;

    int held(Type type) const { return assertions->heldCount(type); }
    // The system and display holds, as counts.
    std::pair<int, int> holds() const
    {
        return { held(Type::PreventUserIdleSystemSleep), held(Type::PreventUserIdleDisplaySleep) };
    }

private slots:
    void init()
    {
        clock = std::make_unique<ManualClock>();
        auto memory = std::make_unique<MemoryPowerAssertions>();
        assertions = memory.get();
        engine = std::make_unique<AwakeEngine>(std::move(memory), *clock);
        changes = 0;
        engine->setOnChange([this] { ++changes; });
    }
    void cleanup() { engine.reset(); }

    // A timed period gives everything back on its last tick; one of zero minutes holds until
    // stop() gives it back.
    void periodHoldsUntilItsLastTickOrUntilStopped()
    {
        engine->start(2, true);
        QCOMPARE(holds(), std::pair(1, 1));
        QCOMPARE(engine->endDate(), clock->now().addSecs(120));
        clock->advance(119s);
        QCOMPARE(std::pair(engine->isActive(), changes), std::pair(true, 2));
        clock->advance(1s);
        QCOMPARE(std::pair(engine->isActive(), changes), std::pair(false, 3));
        QVERIFY(assertions->held().isEmpty());
        QCOMPARE(clock->runningTickers(), 0);

        engine->start(0, false); // zero minutes: until stopped
        QCOMPARE(holds(), std::pair(1, 0));
        QCOMPARE(engine->endDate(), std::nullopt);
        clock->advance(3h);
        QVERIFY(engine->isActive());
        QCOMPARE(changes, 4 + 180);
        engine->stop();
        QCOMPARE(std::tuple(holds(), engine->isActive(), clock->runningTickers()),
                 std::tuple(std::pair(0, 0), false, 0));
    }

    void refusalStaysIdle()
    {
        assertions->setRefusal(Type::PreventUserIdleSystemSleep, PowerAssertions::unsupported);
        engine->start(30, true);
        QCOMPARE(std::tuple(engine->isActive(), changes, clock->runningTickers()),
                 std::tuple(false, 1, 0));
        QCOMPARE(assertions->createCalls(), 1);
    }

    void displayIsAddedAndRemovedAloneAndRetriedAfterARefusal()
    {
        engine->setDisplayAwake(true);
        QCOMPARE(assertions->createCalls(), 0);
        assertions->setRefusal(Type::PreventUserIdleDisplaySleep, 5);
        engine->start(45, true);
        QVERIFY(engine->isActive() && !engine->isDisplayHeld());
        const auto end = engine->endDate();
        assertions->setRefusal(Type::PreventUserIdleDisplaySleep, PowerAssertions::success);
        engine->setDisplayAwake(true);
        engine->setDisplayAwake(true);
        QCOMPARE(holds(), std::pair(1, 1));
        engine->setDisplayAwake(false);
        QCOMPARE(holds(), std::pair(1, 0));
        QCOMPARE(engine->endDate(), end);
        QCOMPARE(changes, 1);
    }

    void guestsHoldAlongsideThePeriodAndEachEndsOnItsOwn()
    {
        QList<quint32> told;
        engine->setOnGuestEnd([&](quint32 id) { told << id; });
        const quint32 make = engine->addGuest(QStringLiteral("make"), false);
        QVERIFY(make != 0 && engine->isActive());
        engine->start(1, false);
        QCOMPARE(holds(), std::pair(1, 0));
        QCOMPARE(engine->endDate(), std::nullopt); // nobody knows when make ends
        clock->advance(60s);
        QCOMPARE(std::pair(engine->isActive(), clock->runningTickers()), std::pair(true, 0));
        engine->removeGuest(make);
        QVERIFY(!engine->isActive());
        QVERIFY(assertions->held().isEmpty());

        engine->start(30, false);
        const quint32 first = engine->addGuest(QStringLiteral("a"), false);
        const quint32 second = engine->addGuest(QStringLiteral("b"), false);
        engine->stop();
        QCOMPARE(told, (QList<quint32> { first, second }));
        QVERIFY(assertions->held().isEmpty());
        engine->removeGuest(first);
        QVERIFY(!engine->isActive());

        assertions->setRefusal(Type::PreventUserIdleSystemSleep, PowerAssertions::unsupported);
        QCOMPARE(engine->addGuest(QStringLiteral("c"), false), 0u);
        QVERIFY(engine->wasRefused() && engine->guestNames().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestAwakeEngine)
#include "tst_awakeengine.moc"
