// SPDX-License-Identifier: MIT
#include "dbuspowerassertions.h"
#include "mockbuses.h"

#include <QScopeGuard>
#include <QTest>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

using Type = PowerAssertions::Type;
using Desktop = DesktopPolicy::Desktop;
using Service = MockBuses::Service;
using Services = QList<const Service *>;

// The session manager is told the program's desktop id (VELUNA_TEST_DESKTOP_ID, the build's own
// setting) as its app id, so it can show the program with its name and icon.

// Non-ASCII on purpose: the reason travels as UTF-8 and must arrive intact.
const QString reason = QStringLiteral("Présentation « Veluna » en cours"),
              app = VELUNA_TEST_DESKTOP_ID;
const Service *const gnome = &MockBuses::gnomeSession, *const power = &MockBuses::powerManagement,
                     *const saver = &MockBuses::screenSaver, *const portal = &MockBuses::portal,
                     *const logind = &MockBuses::logind;
constexpr Type sys = Type::PreventUserIdleSystemSleep, disp = Type::PreventUserIdleDisplaySleep;

// A desktop's choice: which services are present and which refuse, the one chosen (none:
// unsupported) and what it holds (%1 is the reason).
struct Choice
{
    QString desktop; // as XDG_CURRENT_DESKTOP names it
    Type type;
    Services present;
    const Service *chosen;
    QString arguments;
    Services refusing = {};
    bool sandboxed = false;
};
Q_DECLARE_METATYPE(Choice)

// Which service an assertion is taken from on each desktop, with which arguments; that
// release() gives back what that service handed out; that an id stays held while services come
// and go; that nothing waits for a service that does not answer. No service is ever started by
// activation.
class TestDBusPowerAssertions : public QObject
{
    Q_OBJECT

    MockBuses m_buses;

private slots:
    void initTestCase() { QVERIFY(m_buses.startBuses()); }
    void cleanup()
    {
        m_buses.stopServices();
        QCOMPARE(m_buses.activated(), QStringList());
    }

    void takesTheFirstPresentServiceThatAcceptsAndGivesItBack_data()
    {
        QTest::addColumn<Choice>("choice");
        const auto row = [](const char *name, Choice choice) { QTest::newRow(name) << choice; };
        const Services all { gnome, power, portal, logind, saver };
        const char *const lock = "idle|Veluna|%1|block"; // logind's
        // GNOME's session manager takes a sleep lock for flag 4: never sent there.
        row("GNOME: session manager, flag 8", { "ubuntu:GNOME", sys, all, gnome, app + "|0|%1|8" });
        row("GNOME sandboxed: portal first", { "GNOME", sys, all, portal, "|8|%1", {}, true });
        row("KDE: power management before all", { "KDE", sys, all, power, "Veluna|%1" });
        row("KDE: the portal, suspend flag", { "KDE", sys, { portal, logind }, portal, "|4|%1" });
        row("XFCE display: screensaver", { "XFCE", disp, all, saver, "Veluna|%1" });
        row("sway: logind even with a portal", { "sway", sys, all, logind, lock });
        row("other display: logind, not PM", { "", disp, { logind, power }, logind, lock });
        row("past refusers", { "", disp, { power, portal }, portal, "|8|%1", { saver, gnome } });
        row("absent everywhere", { "", sys, { saver }, nullptr, "" });
        row("refused everywhere", { "", sys, {}, nullptr, "", { gnome, portal } });
    }
    void takesTheFirstPresentServiceThatAcceptsAndGivesItBack()
    {
        QFETCH(Choice, choice);
        QVERIFY(m_buses.start(choice.present)
                && m_buses.start(choice.refusing, { { "refuse", true } }));
        DBusPowerAssertions assertions(
            DesktopPolicy(DesktopPolicy::desktopFrom(choice.desktop), choice.sandboxed));
        QList<quint32> refused;
        assertions.setHandlers({ [&refused](quint32 id) { refused.append(id); }, {} });

        // Fails at once only when no service could be asked at all.
        const PowerAssertions::Result result = assertions.create(choice.type, reason);
        const bool asked = choice.chosen || !choice.refusing.isEmpty();
        QCOMPARE(result.code, asked ? PowerAssertions::success : PowerAssertions::unsupported);
        QCOMPARE(result.id, asked ? 1u : 0u);
        if (choice.chosen) {
            QTRY_VERIFY_WITH_TIMEOUT(assertions.holder(result.id), 5000);
            QCOMPARE(m_buses.state(*choice.chosen), QStringList { choice.arguments.arg(reason) });
        } else if (asked) {
            QTRY_COMPARE_WITH_TIMEOUT(refused, QList<quint32> { 1 }, 5000);
            QVERIFY(!assertions.holder(result.id));
        }
        // Each refusing service logged its refusal; the others present were never asked.
        for (const Service *service : choice.present + choice.refusing) {
            const QStringList state = m_buses.state(*service);
            QVERIFY2(service == choice.chosen
                         || (state.size() == choice.refusing.count(service)
                             && state.value(0, "refused|").startsWith("refused|")),
                     qPrintable(state.join(',')));
        }
        // The mocks drop only the cookie or handle they handed out; logind sees the descriptor
        // closed from its own main loop, a moment later.
        assertions.release(result.id);
        if (choice.chosen)
            QTRY_COMPARE_WITH_TIMEOUT(m_buses.state(*choice.chosen), QStringList(), 5000);
        QCOMPARE(refused.size(), asked && !choice.chosen ? 1 : 0);
    }

    // A service that owns its name but answers late is passed over for the next one without
    // the program waiting for it; its late grant is given straight back, as is one that answers
    // after the assertion was released. A silence everywhere ends in a refusal.
    void lateAnswersAreGivenBackAndSilenceEndsInRefusal_data()
    {
        QTest::addColumn<bool>("withLogind");
        QTest::addColumn<bool>("releaseAtOnce");
        QTest::newRow("passed over for logind") << true << false;
        QTest::newRow("released while asked") << true << true;
        QTest::newRow("nothing else answers") << false << false;
    }
    void lateAnswersAreGivenBackAndSilenceEndsInRefusal()
    {
        QFETCH(bool, withLogind);
        QFETCH(bool, releaseAtOnce);
        const QVariantMap slow { { "stall_seconds", 4.5 }, { "mark_releases", true } };
        QVERIFY(m_buses.start({ gnome }, slow) && (!withLogind || m_buses.start({ logind })));
        DBusPowerAssertions assertions(DesktopPolicy(Desktop::Gnome, false));
        QList<quint32> refused;
        assertions.setHandlers({ [&refused](quint32 id) { refused.append(id); }, {} });
        const quint32 id = assertions.create(sys, reason).id;
        QVERIFY(id);
        QVERIFY(!assertions.holder(id)); // in flight: create() did not wait for an answer
        if (releaseAtOnce)
            assertions.release(id);

        // Asking the stalled mock anything waits for it, so look at the others first.
        const QStringList held { "idle|Veluna|" + reason + "|block" };
        if (withLogind && !releaseAtOnce)
            QTRY_COMPARE_WITH_TIMEOUT(m_buses.state(*logind), held, 10000);
        if (!withLogind)
            QTRY_COMPARE_WITH_TIMEOUT(refused, QList<quint32> { id }, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(m_buses.state(*gnome),
                                  QStringList { "released|" + app + "|0|" + reason + "|8" }, 10000);
        QCOMPARE(m_buses.state(*logind), releaseAtOnce || !withLogind ? QStringList() : held);
        QCOMPARE(refused.size(), withLogind ? 0 : 1);
    }

    void holdsLostWithTheirServiceAreTakenAgain_data()
    {
        QTest::addColumn<Services>("present");
        QTest::addColumn<const Service *>("lost");
        QTest::addColumn<const Service *>("next");
        QTest::addColumn<QStringList>("held"); // by the next service, afterwards
        const auto row = [](const char *name, Services present, const Service *lost,
                            const Service *next, const QString &system, const QString &display) {
            QTest::newRow(name) << present << lost << next << QStringList { system, display };
        };
        row("session manager gone: logind takes both", { gnome, logind }, gnome, logind,
            "idle|Veluna|system|block", "idle|Veluna|display|block");
        // The system hold stays as it was: taken again, it would be there twice.
        row("screensaver gone: the session manager takes the display", { saver, gnome }, saver,
            gnome, app + "|0|system|4", app + "|0|display|8");
    }
    void holdsLostWithTheirServiceAreTakenAgain()
    {
        QFETCH(Services, present);
        QFETCH(const Service *, lost);
        QFETCH(const Service *, next);
        QFETCH(QStringList, held);
        QVERIFY(m_buses.start(present));
        DBusPowerAssertions assertions(DesktopPolicy(Desktop::Mate, false));
        int changes = 0;
        assertions.setHandlers({ {}, [&changes] { ++changes; } });
        const quint32 system = assertions.create(sys, "system").id;
        const quint32 display = assertions.create(disp, "display").id;
        QVERIFY(system && display);
        QTRY_COMPARE(changes, 2); // each hold taken is told

        QVERIFY(m_buses.stop(*lost));
        QTRY_COMPARE_WITH_TIMEOUT(m_buses.state(*next), held, 5000);
        // Same ids, new holder: releasing them gives back what the next service handed out.
        assertions.release(system);
        assertions.release(display);
        QTRY_COMPARE_WITH_TIMEOUT(m_buses.state(*next), QStringList(), 5000);
    }

    void holdsWaitWhenNothingIsLeftAndReturnWithAService()
    {
        QVERIFY(m_buses.start({ logind }));
        DBusPowerAssertions assertions(DesktopPolicy(Desktop::Mate, false));
        QCOMPARE(assertions.create(sys, "kept").id, 1u);
        QCOMPARE(assertions.create(sys, "dropped").id, 2u);
        QTRY_COMPARE(m_buses.state(*logind).size(), 2);
        QVERIFY(m_buses.stop(*logind));
        // Released while waiting, a hold is forgotten: only the other one is taken again.
        assertions.release(2);
        QVERIFY(m_buses.start({ gnome }));
        QTRY_COMPARE_WITH_TIMEOUT(m_buses.state(*gnome), QStringList { app + "|0|kept|4" }, 5000);
    }

    // The session manager appears while the hold is still asked of a slow portal that then
    // refuses. (Appearing after that answer, it would be taken anyway, proving nothing.)
    void serviceAppearingWhileAHoldIsAskedIsAskedToo()
    {
        QVERIFY(m_buses.start({ logind }));
        DBusPowerAssertions assertions(DesktopPolicy(Desktop::Mate, false));
        const quint32 id = assertions.create(sys, "kept").id;
        QTRY_VERIFY_WITH_TIMEOUT(assertions.holder(id), 5000);
        QVERIFY(m_buses.start({ portal }, { { "stall_seconds", 2.5 }, { "refuse", true } }));
        QVERIFY(m_buses.stop(*logind) && m_buses.start({ gnome }));
        QTRY_COMPARE_WITH_TIMEOUT(m_buses.state(*gnome), QStringList { app + "|0|kept|4" }, 6000);
        QTRY_COMPARE(assertions.holder(id).value_or(PowerAssertions::Holder()).serviceKey,
                     "holder.service_session_manager");
    }

    // logind's lock lives only in the descriptor, which dies with its holder even when that is
    // killed outright (e2e_unset_sigkill), provided no child it started inherited a copy.
    void releasedHoldLeavesNoLockEvenWithAChildStillRunning()
    {
        QVERIFY(m_buses.start({ logind }));
        DBusPowerAssertions assertions(DesktopPolicy(Desktop::Other, false));
        const quint32 id = assertions.create(sys, "held").id;
        QTRY_VERIFY_WITH_TIMEOUT(assertions.holder(id), 5000);
        // Started the plain POSIX way, the child gets every descriptor not marked close-on-exec.
        pid_t child = 0;
        char sleep[] = "sleep", duration[] = "30";
        char *arguments[] = { sleep, duration, nullptr };
        QCOMPARE(posix_spawnp(&child, "sleep", nullptr, nullptr, arguments, environ), 0);
        const auto killChild = qScopeGuard([child] {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
        });
        QCOMPARE(m_buses.state(*logind), QStringList { "idle|Veluna|held|block" });
        assertions.release(id);
        QTRY_COMPARE_WITH_TIMEOUT(m_buses.state(*logind), QStringList(), 5000);
        QCOMPARE(::waitpid(child, nullptr, WNOHANG), 0); // only meaningful while the child lives
    }
};

QTEST_GUILESS_MAIN(TestDBusPowerAssertions)
#include "tst_dbuspowerassertions.moc"
