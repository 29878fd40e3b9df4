// SPDX-License-Identifier: MIT
#include "controlservice.h"
#include "defaultsstore.h"
#include "freedesktopnotifier.h"
#include "memorypowersource.h"
#include "mockservice.h"
#include "periodnotices.h"
#include "settingkeys.h"
#include "shellfixture.h"
#include "statusitemcontroller.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingReply>
#include <QPointer>
#include <QStandardPaths>
#include <QTest>

namespace {
struct Sent
{
    QString summary;
    QStringList actions;
};
} // namespace

// The notices at the end of a period against dbusmock's notification server on a private
// session bus, with the engine on a manual clock; and extending a period over the control
// interface, with the shell redrawing.
class TestPeriodNotices : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_session.start()); }
    void init()
    {
        QStandardPaths::setTestModeEnabled(true);
        DefaultsStore::clear();
    }
    void oneNoticeWhenAPeriodEndsWithoutTheUser_data();
    void oneNoticeWhenAPeriodEndsWithoutTheUser();
    void extendAddsTimeWithoutANewHoldAndRedrawsAtOnce();

private:
    QList<Sent> sent(const MockService &server) const;

    PrivateBus m_session;
};

void TestPeriodNotices::oneNoticeWhenAPeriodEndsWithoutTheUser_data()
{
    QTest::addColumn<QString>("capabilities");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QStringList>("actions");
    const QString actions = QStringLiteral("body actions");
    const QStringList more { PeriodNotices::moreKey, QStringLiteral("Keep awake 30 more minutes") };
    const QString over = QStringLiteral("Keep-awake period over");
    QTest::newRow("a timed period runs out")
        << actions << QStringList { "start 30", "wait 30" } << over << more;
    QTest::newRow("a server without buttons gets none")
        << QStringLiteral("body") << QStringList { "start 30", "wait 30" } << over << QStringList();
    QTest::newRow("none when the user stops")
        << actions << QStringList { "start 30", "stop", "start 60", "wait 60" } << over << more;
    QTest::newRow("none when switched off")
        << actions
        << QStringList { "notify off", "start 30", "wait 30", "notify on", "start 5", "wait 5" }
        << over << more;
    QTest::newRow("the battery rule, with no button to undo it")
        << actions << QStringList { "rule on", "start 30", "unplug" }
        << QStringLiteral("Keep-awake ended: on battery") << QStringList();
    QTest::newRow("the charge rule names its limit")
        << actions << QStringList { "limit 20", "start 30", "unplug", "charge 15" }
        << QStringLiteral("Keep-awake ended: battery below 20 %") << QStringList();
}

// The steps of the row, then exactly one notice: the one of the last period's end. Pressing its
// button, where it has one, keeps the machine awake 30 minutes more.
void TestPeriodNotices::oneNoticeWhenAPeriodEndsWithoutTheUser()
{
    QFETCH(QString, capabilities);
    QFETCH(QStringList, steps);
    QFETCH(QString, summary);
    QFETCH(QStringList, actions);
    MockService server(m_session, QStringLiteral("org.freedesktop.Notifications"),
                       QStringLiteral("/org/freedesktop/Notifications"));
    QVERIFY(server.start(QStringLiteral("notification_daemon"), false,
                         { { "capabilities", capabilities } }));
    ManualClock clock;
    AwakeEngine engine(std::make_unique<MemoryPowerAssertions>(), clock);
    MemoryPowerSource source;
    FreedesktopNotifier notifier(m_session.connection());
    PowerRules rules(engine, source);
    source.setState({ .hasBattery = true, .onBattery = false, .percentage = 50 });
    PeriodNotices notices(engine, notifier, rules);
    for (const QString &step : steps) {
        const QString verb = step.section(u' ', 0, -2);
        const int number = step.section(u' ', -1).toInt();
        if (verb == "start")
            engine.start(number, false);
        else if (verb == "wait")
            clock.advance(std::chrono::minutes(number));
        else if (step == "stop")
            engine.stop();
        else if (verb == "notify")
            SettingKeys::notifyPeriodEnd.write(step.endsWith("on"));
        else if (step == "rule on")
            SettingKeys::sleepOnBattery.write(true);
        else if (verb == "limit")
            SettingKeys::sleepBelowPercent.write(number);
        else if (step == "unplug")
            source.setState({ .hasBattery = true, .onBattery = true, .percentage = 50 });
        else if (verb == "charge")
            source.setState(
                { .hasBattery = true, .onBattery = true, .percentage = double(number) });
    }
    QVERIFY(!engine.isActive());
    // Notices go out in order: one that should not have been sent would come first.
    QTRY_VERIFY_WITH_TIMEOUT(!sent(server).isEmpty() && sent(server).last().summary == summary,
                             5000);
    QCOMPARE(sent(server).size(), 1);
    QCOMPARE(sent(server).first().actions, actions);
    server.mock(QStringLiteral("EmitSignal"),
                { QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("ActionInvoked"),
                  QStringLiteral("us"), QVariantList { 1u, PeriodNotices::moreKey } });
    if (actions.isEmpty())
        return;
    QTRY_VERIFY_WITH_TIMEOUT(engine.isActive(), 5000);
    QCOMPARE(clock.now().secsTo(*engine.endDate()), 30 * 60);
}

QList<Sent> TestPeriodNotices::sent(const MockService &server) const
{
    QList<Sent> notices;
    const auto calls = server.mock(QStringLiteral("GetMethodCalls"), { QStringLiteral("Notify") })
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

// The end moves; the hold stays as it was taken, and the status and the tray follow at once.
void TestPeriodNotices::extendAddsTimeWithoutANewHoldAndRedrawsAtOnce()
{
    ShellFixture shell;
    shell.setUp();
    AppDelegate &delegate = shell.launch(true);
    ControlService control(*shell.engine);
    const QString id = QStringLiteral("app.plenox.VelunaTest");
    QVERIFY(control.registerOn(QDBusConnection::sessionBus(), id));
    shell.engine->start(30, false);
    const int creates = shell.assertions->createCalls();
    // A rebuilt menu replaces this one, which is then deleted; comparing addresses would not
    // do, since the new menu may be given the old one's.
    const QPointer<QMenu> before = delegate.statusController().menu();
    QVERIFY(before);
    QDBusMessage extend = QDBusMessage::createMethodCall(
        QDBusConnection::sessionBus().baseService(), ControlService::objectPath(id),
        QString::fromLatin1(ControlService::interfaceName), QStringLiteral("Extend"));
    extend << qint64(15);
    QDBusPendingReply<bool> reply = m_session.connection().asyncCall(extend);
    QTRY_VERIFY_WITH_TIMEOUT(reply.isFinished(), 5000);
    QVERIFY(reply.value());
    QCOMPARE(shell.assertions->createCalls(), creates);
    QVERIFY(shell.assertions->releases().isEmpty());
    QCOMPARE(shell.clock->now().secsTo(*shell.engine->endDate()), 45 * 60);
    const QString status = L(QStringLiteral("awake.status_minutes_format"), qint64(45));
    QVERIFY2(delegate.statusController().toolTip().contains(status),
             qPrintable(delegate.statusController().toolTip()));
    QTRY_VERIFY(before.isNull());
    shell.tearDown();
}

QTEST_MAIN(TestPeriodNotices)
#include "tst_periodnotices.moc"
