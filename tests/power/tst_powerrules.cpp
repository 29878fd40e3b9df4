// SPDX-License-Identifier: MIT
#include "awakeengine.h"
#include "defaultsstore.h"
#include "manualclock.h"
#include "memorypowerassertions.h"
#include "mockservice.h"
#include "powercard.h"
#include "powerrules.h"
#include "settingkeys.h"
#include "upowerpowersource.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDBusVariant>
#include <QLabel>
#include <QStandardPaths>
#include <QTest>

namespace {
const QString devicePath = QStringLiteral("/org/freedesktop/UPower/devices/DisplayDevice");
} // namespace

// The power rules against UPower as the system bus shows it: dbusmock's upower template on a
// private system bus, the program's own UPower reader, and an engine on a manual clock.
class TestPowerRules : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_system.start()); }
    void init()
    {
        QStandardPaths::setTestModeEnabled(true);
        DefaultsStore::clear();
    }
    void rulesFollowThePowerSource_data();
    void rulesFollowThePowerSource();

private:
    void step(const QString &step);
    void waitForSource(const std::function<bool(const PowerSource::State &)> &seen)
    {
        QTRY_VERIFY2_WITH_TIMEOUT(seen(m_source->state()), qPrintable(m_step), 5000);
    }
    // The first answers are in and changes arrive: the bus may take a moment to route them.
    void waitUntilListening()
    {
        waitForSource([](const PowerSource::State &s) { return s.percentage == 0; });
        for (int poke = 1; poke < 50; ++poke) {
            setDevice({ { "Percentage", double(poke) } });
            if (QTest::qWaitFor([&] { return m_source->state().percentage == poke; }, 200))
                return;
        }
        QFAIL("no change of UPower's properties arrives");
    }
    void setDevice(const QVariantMap &properties)
    {
        m_upower->mock(QStringLiteral("SetDeviceProperties"),
                       { QVariant::fromValue(QDBusObjectPath(devicePath)), properties });
    }

    PrivateBus m_system { PrivateBus::Plays::SystemBus };
    std::unique_ptr<MockService> m_upower;
    std::unique_ptr<ManualClock> m_clock;
    MemoryPowerAssertions *m_assertions = nullptr;
    std::unique_ptr<AwakeEngine> m_engine;
    std::unique_ptr<UPowerPowerSource> m_source;
    QString m_step; // the one running, for the failure's message
};

void TestPowerRules::rulesFollowThePowerSource_data()
{
    QTest::addColumn<QVariantMap>("settings");
    QTest::addColumn<bool>("upower");
    QTest::addColumn<QStringList>("steps");
    const QString battery = SettingKeys::sleepOnBattery.key();
    const QString resume = SettingKeys::resumeOnMains.key();
    const QString below = SettingKeys::sleepBelowPercent.key();
    QTest::newRow("unplugging ends the period, plugging back does not resume it")
        << QVariantMap { { battery, true } }
        << true << QStringList { "battery 80", "start 60", "available", "unplug",
                                 "asleep",     "plug",     "asleep" };
    QTest::newRow("plugging back resumes the period with its time left")
        << QVariantMap { { battery, true }, { resume, true } } << true
        << QStringList { "battery 80", "start 60", "wait 20", "unplug",
                         "asleep",     "wait 15",  "plug",    "left 40" };
    QTest::newRow("an unlimited period resumes unlimited")
        << QVariantMap { { battery, true }, { resume, true } } << true
        << QStringList { "battery 80", "start 0", "unplug", "asleep", "plug", "unlimited" };
    QTest::newRow("rule off: unplugging changes nothing")
        << QVariantMap { { resume, true } } << true
        << QStringList { "battery 80", "start 60", "unplug", "left 60" };
    QTest::newRow("below the limit on battery, once")
        << QVariantMap { { below, 20 } } << true
        << QStringList { "battery 50", "unplug", "start 60", "charge 25", "left 60",
                         "charge 15",  "asleep", "start 30", "charge 10", "left 30" };
    QTest::newRow("below the limit on mains changes nothing")
        << QVariantMap { { below, 30 } } << true
        << QStringList { "battery 50", "start 60", "charge 15", "left 60" };
    QTest::newRow("no battery: nothing ends")
        << QVariantMap { { battery, true }, { below, 50 } } << true
        << QStringList { "start 60", "unplug", "left 60", "unavailable" };
    QTest::newRow("no UPower: nothing ends")
        << QVariantMap { { battery, true }, { below, 50 } } << false
        << QStringList { "start 60", "wait 1", "left 59", "unavailable" };
}

// The stored settings, the machine and the steps of the row; each step waits until the program
// has seen the change. "left M": a timed period with M minutes to go.
void TestPowerRules::rulesFollowThePowerSource()
{
    QFETCH(QVariantMap, settings);
    QFETCH(bool, upower);
    QFETCH(QStringList, steps);
    for (auto it = settings.cbegin(); it != settings.cend(); ++it)
        DefaultsStore::setValue(it.key(), it.value());
    m_upower = std::make_unique<MockService>(m_system, QStringLiteral("org.freedesktop.UPower"),
                                             QStringLiteral("/org/freedesktop/UPower"));
    if (upower)
        QVERIFY(m_upower->start(QStringLiteral("upower"), true, { { "OnBattery", false } }));
    m_clock = std::make_unique<ManualClock>();
    auto assertions = std::make_unique<MemoryPowerAssertions>();
    m_assertions = assertions.get();
    m_engine = std::make_unique<AwakeEngine>(std::move(assertions), *m_clock);
    m_source = std::make_unique<UPowerPowerSource>(m_system.connection());
    PowerRules rules(*m_engine, *m_source);
    if (upower)
        waitUntilListening();
    for (const QString &each : steps)
        step(each);
    m_source.reset();
    m_engine.reset();
    m_upower.reset();
}

void TestPowerRules::step(const QString &step)
{
    m_step = step;
    const QString verb = step.section(u' ', 0, 0);
    const int number = step.section(u' ', 1).toInt();
    if (verb == "battery") {
        setDevice({ { "Type", QVariant::fromValue(2u) },
                    { "State", QVariant::fromValue(1u) },
                    { "IsPresent", true },
                    { "Percentage", double(number) } });
        waitForSource(
            [&](const PowerSource::State &s) { return s.hasBattery && s.percentage == number; });
    } else if (verb == "unplug" || verb == "plug") {
        const bool on = verb == "unplug";
        m_upower->call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
                       { QStringLiteral("org.freedesktop.UPower"), QStringLiteral("OnBattery"),
                         QVariant::fromValue(QDBusVariant(on)) });
        waitForSource([&](const PowerSource::State &s) { return s.onBattery == on; });
    } else if (verb == "charge") {
        setDevice({ { "Percentage", double(number) } });
        waitForSource([&](const PowerSource::State &s) { return s.percentage == number; });
    } else if (verb == "start") {
        m_engine->start(number, true);
    } else if (verb == "wait") {
        m_clock->advance(std::chrono::minutes(number));
    } else if (verb == "asleep") {
        QVERIFY(!m_engine->isActive());
        QCOMPARE(m_assertions->held().size(), 0);
    } else if (verb == "left") {
        QVERIFY(m_engine->isActive() && m_engine->endDate());
        QCOMPARE(m_clock->now().secsTo(*m_engine->endDate()), number * 60);
        QVERIFY(m_engine->isDisplayHeld()); // kept as it was asked
    } else if (verb == "unlimited") {
        QVERIFY(m_engine->isActive() && !m_engine->endDate());
    } else if (verb == "available" || verb == "unavailable") {
        const bool available = verb == "available";
        PowerCard card(*m_source);
        QCOMPARE(card.batteryCheckbox()->isEnabled(), available);
        QCOMPARE(card.resumeCheckbox()->isEnabled(), available); // the battery rule is on
        QCOMPARE(card.belowMenu()->isEnabled(), available);
        QVERIFY(card.notifyCheckbox()->isEnabled());
        QCOMPARE(card.unavailableLine()->isVisibleTo(&card), !available);
    } else {
        QFAIL(qPrintable("unknown step " + step));
    }
}

QTEST_MAIN(TestPowerRules)
#include "tst_powerrules.moc"
