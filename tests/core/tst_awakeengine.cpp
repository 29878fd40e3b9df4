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

private slots:
    void init();
    void cleanup();

    void startHoldsTheSystemAssertionAndNotifiesOnce();
    void displayAssertionOnlyWhenAsked();
    void nonPositiveMinutesMeanUnlimited_data();
    void nonPositiveMinutesMeanUnlimited();
    void statusTextRoundsRemainingMinutes_data();
    void statusTextRoundsRemainingMinutes();
    void timedPeriodEndsOnItsLastTickWithoutWaiting();
    void startingTwiceReplacesThePeriod();
    void stopReleasesBothAndNotifiesEvenWhenIdle();
    void refusalLogsTheSignedCodeAndStaysIdle();
    void refusedDisplayLeavesSystemHeldAndCanBeRetried();
    void setDisplayAwakeAddsAndRemovesOnlyTheDisplay();
    void durationsAreThePresets();

private:
    MemoryPowerAssertions *assertions = nullptr;
    std::unique_ptr<ManualClock> clock;
    std::unique_ptr<AwakeEngine> engine;
    int changes = 0;
    QStringList logLines;
};

void TestAwakeEngine::init()
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

void TestAwakeEngine::cleanup()
{
    SystemLog::setObserver({});
    engine.reset();
}

void TestAwakeEngine::startHoldsTheSystemAssertionAndNotifiesOnce()
{
    engine->start(30, false);
    QVERIFY(engine->isActive());
    QCOMPARE(changes, 1);
    QCOMPARE(assertions->heldCount(Type::PreventUserIdleSystemSleep), 1);
    QCOMPARE(assertions->held().first().name, L(QStringLiteral("awake.assertion_reason_sleep")));
    QCOMPARE(engine->endDate(), clock->now().addSecs(30 * 60));
    QCOMPARE(clock->runningTickers(), 1);
    QVERIFY(logLines.isEmpty());
}

void TestAwakeEngine::displayAssertionOnlyWhenAsked()
{
    engine->start(0, true);
    QCOMPARE(assertions->heldCount(Type::PreventUserIdleDisplaySleep), 1);
    QVERIFY(engine->isDisplayHeld());
    const auto held = assertions->held();
    QVERIFY(std::any_of(held.cbegin(), held.cend(), [](const MemoryPowerAssertions::Held &h) {
        return h.name == L(QStringLiteral("awake.assertion_reason_display"));
    }));
    engine->start(0, false);
    QCOMPARE(assertions->heldCount(Type::PreventUserIdleDisplaySleep), 0);
    QCOMPARE(assertions->heldCount(Type::PreventUserIdleSystemSleep), 1);
}

void TestAwakeEngine::nonPositiveMinutesMeanUnlimited_data()
{
    QTest::addColumn<int>("minutes");
    QTest::newRow("zero") << 0;
    QTest::newRow("negative") << -5;
}

void TestAwakeEngine::nonPositiveMinutesMeanUnlimited()
{
    QFETCH(int, minutes);
    engine->start(minutes, false);
    QVERIFY(engine->isActive());
    QCOMPARE(engine->endDate(), std::nullopt);
    QCOMPARE(engine->statusText(), L(QStringLiteral("awake.status_unlimited")));
    clock->advance(3h);
    QVERIFY(engine->isActive());
    QCOMPARE(changes, 1 + 180);
}

void TestAwakeEngine::statusTextRoundsRemainingMinutes_data()
{
    QTest::addColumn<int>("minutes");
    QTest::addColumn<int>("elapsedMs");
    QTest::addColumn<QString>("expected");
    const auto mins = [](qint64 m) { return L(QStringLiteral("awake.status_minutes_format"), m); };
    const auto hours
        = [](qint64 h, qint64 m) { return L(QStringLiteral("awake.status_hours_format"), h, m); };
    QTest::newRow("30 just started") << 30 << 0 << mins(30);
    QTest::newRow("90 just started") << 90 << 0 << hours(1, 30);
    QTest::newRow("60 just started") << 60 << 0 << hours(1, 0);
    QTest::newRow("30 s left rounds up") << 1 << 30'000 << mins(1);
    QTest::newRow("29 s left rounds down") << 1 << 31'000 << mins(0);
    QTest::newRow("89.9 s left") << 2 << 30'100 << mins(1);
    QTest::newRow("90 s left") << 2 << 30'000 << mins(2);
    QTest::newRow("59.5 min left reads one hour") << 60 << 30'000 << hours(1, 0);
}

void TestAwakeEngine::statusTextRoundsRemainingMinutes()
{
    QFETCH(int, minutes);
    QFETCH(int, elapsedMs);
    QFETCH(QString, expected);
    engine->start(minutes, false);
    // Move the clock without ticking: the text is computed on demand.
    engine->setOnChange({});
    clock->advance(std::chrono::milliseconds(elapsedMs));
    QCOMPARE(engine->statusText(), expected);
    QVERIFY(!expected.contains(u'%'));
}

void TestAwakeEngine::timedPeriodEndsOnItsLastTickWithoutWaiting()
{
    engine->start(2, true);
    clock->advance(60s);
    QVERIFY(engine->isActive());
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

void TestAwakeEngine::startingTwiceReplacesThePeriod()
{
    engine->start(30, true);
    const QList<quint32> first = assertions->held().keys();
    changes = 0;
    int heldDuringNotification = -1;
    engine->setOnChange([&] {
        ++changes;
        heldDuringNotification = int(assertions->held().size());
    });
    engine->start(60, true);
    QCOMPARE(changes, 1);
    QCOMPARE(heldDuringNotification, 2);
    for (quint32 id : first)
        QVERIFY(assertions->releases().contains(id));
    QCOMPARE(assertions->held().size(), 2);
    QCOMPARE(clock->runningTickers(), 1);
    QCOMPARE(engine->endDate(), clock->now().addSecs(3600));
}

void TestAwakeEngine::stopReleasesBothAndNotifiesEvenWhenIdle()
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

void TestAwakeEngine::refusalLogsTheSignedCodeAndStaysIdle()
{
    assertions->setRefusal(Type::PreventUserIdleSystemSleep, PowerAssertions::unsupported);
    engine->start(30, true);
    QVERIFY(!engine->isActive());
    QCOMPARE(changes, 1);
    QCOMPARE(engine->endDate(), std::nullopt);
    QCOMPARE(clock->runningTickers(), 0);
    QCOMPARE(assertions->createCalls(), 1);
    QCOMPARE(logLines,
             QStringList { QStringLiteral("Veluna: création d'assertion échouée (-536870201)") });
}

void TestAwakeEngine::refusedDisplayLeavesSystemHeldAndCanBeRetried()
{
    assertions->setRefusal(Type::PreventUserIdleDisplaySleep, 5);
    engine->start(30, true);
    QVERIFY(engine->isActive());
    QVERIFY(!engine->isDisplayHeld());
    QVERIFY(logLines.isEmpty());
    assertions->setRefusal(Type::PreventUserIdleDisplaySleep, PowerAssertions::success);
    engine->setDisplayAwake(true);
    QVERIFY(engine->isDisplayHeld());
    QCOMPARE(changes, 1);
}

void TestAwakeEngine::setDisplayAwakeAddsAndRemovesOnlyTheDisplay()
{
    engine->setDisplayAwake(true);
    QCOMPARE(assertions->createCalls(), 0);
    QCOMPARE(changes, 0);

    engine->start(45, false);
    const auto end = engine->endDate();
    engine->setDisplayAwake(true);
    engine->setDisplayAwake(true);
    QCOMPARE(assertions->heldCount(Type::PreventUserIdleDisplaySleep), 1);
    engine->setDisplayAwake(false);
    QVERIFY(engine->isActive());
    QCOMPARE(assertions->heldCount(Type::PreventUserIdleDisplaySleep), 0);
    QCOMPARE(assertions->heldCount(Type::PreventUserIdleSystemSleep), 1);
    QCOMPARE(engine->endDate(), end);
    QCOMPARE(changes, 1);
}

void TestAwakeEngine::durationsAreThePresets()
{
    QList<int> minutes;
    for (const auto &row : AwakeEngine::durations())
        minutes << row.minutes;
    QCOMPARE(minutes, (QList<int> { 0, 30, 60, 120, 240 }));
    QCOMPARE(AwakeEngine::durations().at(2).titre, L(QStringLiteral("awake.duration_1_hour")));
}

QTEST_GUILESS_MAIN(TestAwakeEngine)
#include "tst_awakeengine.moc"
