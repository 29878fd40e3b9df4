#include "awakeengine.h"
#include "localisation.h"
#include "manualclock.h"
#include "memorypowerassertions.h"
#include "systemlog.h"

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
    QStringList logLines;

    QStringList heldNames() const
    {
        QStringList names;
        for (const auto &held : assertions->held())
            names << held.name;
        names.sort();
        return names;
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
        logLines.clear();
        SystemLog::setObserver([this](const QString &line) { logLines << line; });
    }
    void cleanup()
    {
        SystemLog::setObserver({});
        engine.reset();
    }

    void startHoldsWhatWasAskedAndNotifiesOnce_data()
    {
        QTest::addColumn<int>("minutes");
        QTest::addColumn<bool>("display");
        QTest::newRow("system only, timed") << 30 << false;
        QTest::newRow("system and display, unlimited") << 0 << true;
    }
    void startHoldsWhatWasAskedAndNotifiesOnce()
    {
        QFETCH(int, minutes);
        QFETCH(bool, display);
        engine->start(minutes, display);
        QVERIFY(engine->isActive());
        QCOMPARE(engine->isDisplayHeld(), display);
        QCOMPARE(changes, 1);
        QStringList expected { L(QStringLiteral("awake.assertion_reason_sleep")) };
        if (display)
            expected << L(QStringLiteral("awake.assertion_reason_display"));
        expected.sort();
        QCOMPARE(heldNames(), expected);
        QCOMPARE(assertions->heldCount(Type::PreventUserIdleSystemSleep), 1);
        QCOMPARE(assertions->heldCount(Type::PreventUserIdleDisplaySleep), display ? 1 : 0);
        QCOMPARE(clock->runningTickers(), 1);
        QVERIFY(logLines.isEmpty());
    }

    void nonPositiveMinutesMeanUnlimited_data()
    {
        QTest::addColumn<int>("minutes");
        QTest::newRow("zero") << 0;
        QTest::newRow("negative") << -5;
    }
    void nonPositiveMinutesMeanUnlimited()
    {
        QFETCH(int, minutes);
        engine->start(minutes, false);
        QCOMPARE(engine->endDate(), std::nullopt);
        QCOMPARE(engine->statusText(), L(QStringLiteral("awake.status_unlimited")));
        clock->advance(3h);
        QVERIFY(engine->isActive());
        QCOMPARE(changes, 1 + 180);
    }

    void statusTextRoundsRemainingMinutes_data()
    {
        QTest::addColumn<int>("minutes");
        QTest::addColumn<int>("elapsedMs");
        QTest::addColumn<QString>("expected");
        const auto mins
            = [](qint64 m) { return L(QStringLiteral("awake.status_minutes_format"), m); };
        const auto hours = [](qint64 h, qint64 m) {
            return L(QStringLiteral("awake.status_hours_format"), h, m);
        };
        QTest::newRow("90 just started") << 90 << 0 << hours(1, 30);
        QTest::newRow("60 just started") << 60 << 0 << hours(1, 0);
        QTest::newRow("30 s left rounds up") << 1 << 30'000 << mins(1);
        QTest::newRow("29 s left rounds down") << 1 << 31'000 << mins(0);
        QTest::newRow("59.5 min left reads one hour") << 60 << 30'000 << hours(1, 0);
    }
    void statusTextRoundsRemainingMinutes()
    {
        QFETCH(int, minutes);
        QFETCH(int, elapsedMs);
        QFETCH(QString, expected);
        engine->start(minutes, false);
        QCOMPARE(engine->endDate(), clock->now().addSecs(minutes * 60));
        // Move the clock without ticking: the text is computed on demand.
        engine->setOnChange({});
        clock->advance(std::chrono::milliseconds(elapsedMs));
        QCOMPARE(engine->statusText(), expected);
        QVERIFY(!expected.contains(u'%'));
    }

    void timedPeriodEndsOnItsLastTickWithoutWaiting()
    {
        engine->start(2, true);
        clock->advance(60s);
        QCOMPARE(changes, 2);
        clock->advance(59s);
        QVERIFY(engine->isActive());
        clock->advance(1s);
        QVERIFY(!engine->isActive());
        QCOMPARE(changes, 3);
        QCOMPARE(engine->endDate(), std::nullopt);
        QCOMPARE(engine->statusText(), L(QStringLiteral("awake.status_normal")));
        QVERIFY(assertions->held().isEmpty());
        QCOMPARE(clock->runningTickers(), 0);
        clock->advance(10min);
        QCOMPARE(changes, 3);
    }

    void startingTwiceReplacesThePeriod()
    {
        engine->start(30, true);
        const QList<quint32> first = assertions->held().keys();
        changes = 0;
        int heldDuringNotification = -1;
        engine->setOnChange([&] {
            ++changes;
            heldDuringNotification = int(assertions->held().size());
        });
        engine->start(60, false);
        QCOMPARE(changes, 1);
        QCOMPARE(heldDuringNotification, 1);
        for (quint32 id : first)
            QVERIFY(assertions->releases().contains(id));
        QCOMPARE(heldNames(), QStringList { L(QStringLiteral("awake.assertion_reason_sleep")) });
        QCOMPARE(clock->runningTickers(), 1);
        QCOMPARE(engine->endDate(), clock->now().addSecs(3600));
    }

    void stopReleasesBothAndNotifiesEvenWhenIdle()
    {
        engine->stop();
        QCOMPARE(changes, 1);
        QVERIFY(assertions->releases().isEmpty());
        engine->start(30, true);
        engine->stop();
        QCOMPARE(changes, 3);
        QVERIFY(!engine->isActive());
        QVERIFY(!engine->isDisplayHeld());
        QVERIFY(assertions->held().isEmpty());
        QCOMPARE(assertions->releases().size(), 2);
        QCOMPARE(clock->runningTickers(), 0);
    }

    void refusalLogsTheSignedCodeAndStaysIdle()
    {
        assertions->setRefusal(Type::PreventUserIdleSystemSleep, PowerAssertions::unsupported);
        engine->start(30, true);
        QVERIFY(!engine->isActive());
        QCOMPARE(changes, 1);
        QCOMPARE(engine->endDate(), std::nullopt);
        QCOMPARE(clock->runningTickers(), 0);
        QCOMPARE(assertions->createCalls(), 1);
        QCOMPARE(
            logLines,
            QStringList { QStringLiteral("Veluna: création d'assertion échouée (-536870201)") });
    }

    void displayIsAddedAndRemovedAloneAndRetriedAfterARefusal()
    {
        engine->setDisplayAwake(true);
        QCOMPARE(assertions->createCalls(), 0);

        assertions->setRefusal(Type::PreventUserIdleDisplaySleep, 5);
        engine->start(45, true);
        QVERIFY(engine->isActive());
        QVERIFY(!engine->isDisplayHeld());
        QVERIFY(logLines.isEmpty());
        const auto end = engine->endDate();
        assertions->setRefusal(Type::PreventUserIdleDisplaySleep, PowerAssertions::success);
        engine->setDisplayAwake(true);
        engine->setDisplayAwake(true);
        QVERIFY(engine->isDisplayHeld());
        QCOMPARE(assertions->heldCount(Type::PreventUserIdleDisplaySleep), 1);
        engine->setDisplayAwake(false);
        QVERIFY(engine->isActive());
        QVERIFY(!engine->isDisplayHeld());
        QCOMPARE(assertions->heldCount(Type::PreventUserIdleDisplaySleep), 0);
        QCOMPARE(assertions->heldCount(Type::PreventUserIdleSystemSleep), 1);
        QCOMPARE(engine->endDate(), end);
        QCOMPARE(changes, 1);
    }
};

QTEST_GUILESS_MAIN(TestAwakeEngine)
#include "tst_awakeengine.moc"
