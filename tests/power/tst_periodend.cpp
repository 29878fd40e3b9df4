// SPDX-License-Identifier: MIT
#include "defaultsstore.h"
#include "freedesktopnotifier.h"
#include "manualclock.h"
#include "memorypowerassertions.h"
#include "mockbuses.h"
#include "periodnotices.h"
#include "powerrules.h"
#include "settingkeys.h"
#include "upowerpowersource.h"

#include <QDBusArgument>
#include <QDBusVariant>
#include <QStandardPaths>
#include <QTest>

using Bus = MockBuses::Bus;
using namespace Qt::StringLiterals;

namespace {
const QString devicePath = u"/org/freedesktop/UPower/devices/DisplayDevice"_s;

// An engine on a manual clock, the program's own UPower reader and the rules between them.
struct Machine
{
    explicit Machine(const QDBusConnection &systemBus)
        : source(systemBus)
    { }
    ManualClock clock;
    MemoryPowerAssertions *assertions = new MemoryPowerAssertions;
    AwakeEngine engine { std::unique_ptr<PowerAssertions>(assertions), clock };
    UPowerPowerSource source;
    PowerRules rules { engine, source };
};
} // namespace

// How a period ends without the user, and the one notice each end gives: the power rules
// against dbusmock's UPower on the private system bus, the notices sent to dbusmock's
// notification server on the private session bus.
class TestPeriodEnd : public QObject
{
    Q_OBJECT

    MockBuses m_buses;
    QString m_step; // the one running, for the failure's message

    void step(Machine &machine, const QString &step);
    void waitForSource(Machine &machine,
                       const std::function<bool(const PowerSource::State &)> &seen)
    {
        QTRY_VERIFY2_WITH_TIMEOUT(seen(machine.source.state()), qPrintable(m_step), 5000);
    }
    // The first answers are in and changes arrive: the bus may take a moment to route them.
    void waitUntilListening(Machine &machine)
    {
        waitForSource(machine, [](const PowerSource::State &s) { return s.percentage == 0; });
        for (int poke = 1; poke < 50; ++poke) {
            setDevice({ { "Percentage", double(poke) } });
            if (QTest::qWaitFor([&] { return machine.source.state().percentage == poke; }, 200))
                return;
        }
        QFAIL("no change of UPower's properties arrives");
    }
    void setDevice(const QVariantMap &properties)
    {
        m_buses.mock(MockBuses::upower, u"SetDeviceProperties"_s,
                     { QVariant::fromValue(QDBusObjectPath(devicePath)), properties });
    }
    // The summary and the action keys and labels of every notice sent, in order.
    QList<std::pair<QString, QStringList>> sent() const;

private slots:
    void initTestCase() { QVERIFY(m_buses.startBuses()); }
    void init()
    {
        QStandardPaths::setTestModeEnabled(true);
        DefaultsStore::clear();
    }
    void cleanup() { m_buses.stopServices(); }

    void oneNoticeForTheEndOfTheLastPeriod_data();
    void oneNoticeForTheEndOfTheLastPeriod();
};

void TestPeriodEnd::oneNoticeForTheEndOfTheLastPeriod_data()
{
    QTest::addColumn<QVariantMap>("settings");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<bool>("more"); // the notice offers to keep awake 30 more minutes
    QTest::addColumn<bool>("upower");
    const QString over = u"Keep-awake period over"_s, unplugged = u"Keep-awake ended: on battery"_s;
    const auto row = [](const char *name, const QVariantMap &settings, const char *steps,
                        const QString &summary, bool more, bool upower = true) {
        QTest::newRow(name) << settings << QString::fromLatin1(steps).split(u',') << summary << more
                            << upower;
    };
    const QString battery = SettingKeys::sleepOnBattery.key();
    const QString resume = SettingKeys::resumeOnMains.key();
    const QString below = SettingKeys::sleepBelowPercent.key();
    row("unplugging ends the period, plugging back does not resume it", { { battery, true } },
        "charge 80,start 60,unplug,asleep,plug,asleep", unplugged, false);
    row("plugging back resumes the period with its time left",
        { { battery, true }, { resume, true } },
        "charge 80,start 60,wait 20,unplug,asleep,wait 15,plug,left 40", unplugged, false);
    row("rule off: unplugging changes nothing", { { resume, true } },
        "charge 80,start 60,unplug,left 60,wait 60", over, true);
    row("below the limit on battery, once", { { below, 20 } },
        "charge 50,unplug,start 60,charge 25,left 60,charge 15,asleep,start 30,charge 10,left 30",
        u"Keep-awake ended: battery below 20 %"_s, false);
    row("below the limit on mains changes nothing", { { below, 30 } },
        "charge 50,start 60,charge 15,left 60,wait 60", over, true);
    row("no battery: nothing ends", { { battery, true }, { below, 50 } },
        "start 60,unplug,left 60,wait 60", over, true);
    row("none when the user stops", {}, "start 30,stop,start 60,wait 60", over, true, false);
    row("none when switched off", {}, "notify off,start 30,wait 30,notify on,start 5,wait 5", over,
        true, false);
}

// The steps of the row, each waiting until the program has seen its change, then exactly one
// notice: the one of the last period's end. Its button keeps the machine awake 30 minutes more.
void TestPeriodEnd::oneNoticeForTheEndOfTheLastPeriod()
{
    QFETCH(QVariantMap, settings);
    QFETCH(QStringList, steps);
    QFETCH(QString, summary);
    QFETCH(bool, more);
    QFETCH(bool, upower);
    for (auto it = settings.cbegin(); it != settings.cend(); ++it)
        DefaultsStore::setValue(it.key(), it.value());
    QVERIFY(m_buses.start({ &MockBuses::notifications }, { { "capabilities", "body actions" } }));
    QVERIFY(!upower || m_buses.start({ &MockBuses::upower }, { { "OnBattery", false } }));
    Machine machine(m_buses.connection(Bus::System));
    FreedesktopNotifier notifier(m_buses.connection(Bus::Session));
    PeriodNotices notices(machine.engine, notifier, machine.rules);
    if (upower)
        waitUntilListening(machine);
    for (const QString &each : steps)
        step(machine, each);

    // Notices go out in order: one that should not have been sent would come first.
    QTRY_VERIFY_WITH_TIMEOUT(!sent().isEmpty() && sent().last().first == summary, 5000);
    QCOMPARE(sent().size(), 1);
    const QStringList offer { PeriodNotices::moreKey, u"Keep awake 30 more minutes"_s };
    QCOMPARE(sent().first().second, more ? offer : QStringList());
    if (!more)
        return;
    m_buses.mock(MockBuses::notifications, u"EmitSignal"_s,
                 { u"org.freedesktop.Notifications"_s, u"ActionInvoked"_s, u"us"_s,
                   QVariantList { 1u, PeriodNotices::moreKey } });
    QTRY_VERIFY_WITH_TIMEOUT(machine.engine.isActive(), 5000);
    QCOMPARE(machine.clock.now().secsTo(*machine.engine.endDate()), 30 * 60);
}

void TestPeriodEnd::step(Machine &machine, const QString &step)
{
    m_step = step;
    const QString verb = step.section(u' ', 0, 0);
    const int number = step.section(u' ', 1).toInt();
    AwakeEngine &engine = machine.engine;
    if (verb == "charge") { // a battery, present at that charge
        setDevice({ { "Type", QVariant::fromValue(2u) },
                    { "State", QVariant::fromValue(1u) },
                    { "IsPresent", true },
                    { "Percentage", double(number) } });
        waitForSource(machine, [&](const PowerSource::State &s) {
            return s.hasBattery && s.percentage == number;
        });
    } else if (verb == "unplug" || verb == "plug") {
        const bool on = verb == "unplug";
        m_buses.call(
            MockBuses::upower, u"org.freedesktop.DBus.Properties"_s, u"Set"_s,
            { u"org.freedesktop.UPower"_s, u"OnBattery"_s, QVariant::fromValue(QDBusVariant(on)) });
        waitForSource(machine, [&](const PowerSource::State &s) { return s.onBattery == on; });
    } else if (verb == "start") {
        engine.start(number, true);
    } else if (verb == "wait") {
        machine.clock.advance(std::chrono::minutes(number));
    } else if (verb == "stop") {
        engine.stop();
    } else if (verb == "notify") {
        SettingKeys::notifyPeriodEnd.write(step.endsWith("on"));
    } else if (verb == "asleep") {
        QVERIFY(!engine.isActive());
        QCOMPARE(machine.assertions->held().size(), 0);
    } else if (verb == "left") {
        QVERIFY(engine.isActive() && engine.endDate());
        QCOMPARE(machine.clock.now().secsTo(*engine.endDate()), number * 60);
        QVERIFY(engine.isDisplayHeld()); // kept as it was asked
    } else {
        QFAIL(qPrintable("unknown step " + step));
    }
}

QList<std::pair<QString, QStringList>> TestPeriodEnd::sent() const
{
    QList<std::pair<QString, QStringList>> notices;
    const auto calls = m_buses.mock(MockBuses::notifications, u"GetMethodCalls"_s, { u"Notify"_s })
                           .value(0)
                           .value<QDBusArgument>();
    for (calls.beginArray(); !calls.atEnd();) {
        quint64 time;
        QVariantList arguments;
        calls.beginStructure();
        calls >> time >> arguments;
        calls.endStructure();
        notices.append({ arguments.value(3).toString(), arguments.value(5).toStringList() });
    }
    return notices;
}

QTEST_MAIN(TestPeriodEnd)
#include "tst_periodend.moc"
