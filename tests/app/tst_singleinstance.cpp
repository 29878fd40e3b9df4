// SPDX-License-Identifier: MIT
#include "dbussingleinstance.h"
#include "desktopidentity.h"
#include "privatesessionbus.h"

#include <QRegularExpression>
#include <QTest>

#include <list>
#include <optional>

#include <signal.h>
#include <sys/prctl.h>

using namespace std::chrono_literals;
using Claim = SingleInstance::Claim;
using Token = std::optional<QString>;

const QString serviceName = QStringLiteral("app.plenox.Veluna");
constexpr int timeoutMs = 10000;

// One Veluna per session, on a private bus; veluna-instance-helper plays a launch's claim alone.
class TestSingleInstance : public QObject
{
    Q_OBJECT

    Claim claim(std::chrono::milliseconds answerTimeout = 10s)
    {
        instance = std::make_unique<DBusSingleInstance>(
            QString::fromLatin1(DesktopIdentity::desktopId), answerTimeout);
        connect(instance.get(), &SingleInstance::reopenRequested, this, [this] {
            reopenTokens << (qEnvironmentVariableIsSet("XDG_ACTIVATION_TOKEN")
                                 ? Token(qEnvironmentVariable("XDG_ACTIVATION_TOKEN"))
                                 : std::nullopt);
        });
        return instance->claim();
    }
    // Runs program with this environment but for the activation token, plus "NAME=value" pairs.
    QProcess &start(const char *program, const QStringList &variables = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("XDG_ACTIVATION_TOKEN"));
        for (const QString &variable : variables)
            environment.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
        QProcess &process = processes.emplace_back();
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // The child dies with the test even when a crash or a time-out skips every destructor.
        process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        process.start(QString::fromLocal8Bit(program), {});
        return process;
    }

    PrivateSessionBus bus;
    std::unique_ptr<DBusSingleInstance> instance;
    std::list<QProcess> processes; // killed, stopped ones included, as they are destroyed
    QList<Token> reopenTokens; // XDG_ACTIVATION_TOKEN as each reopen request found it

private slots:
    void initTestCase()
    {
        qunsetenv("XDG_ACTIVATION_TOKEN");
        qunsetenv("DESKTOP_STARTUP_ID");
        QVERIFY(bus.start());
    }

    void cleanup()
    {
        instance.reset();
        processes.clear();
        reopenTokens.clear();
        qunsetenv("XDG_ACTIVATION_TOKEN");
        QVERIFY(bus.waitForOwner(serviceName, false));
    }

    // A second launch hands its activation token over (Wayland's or X11's startup id, and none
    // rather than a stale one) and ends with 0.
    void secondVelunaHandsItsTokenOverAndEnds()
    {
        const QString wayland = QStringLiteral("XDG_ACTIVATION_TOKEN=wl-7");
        const QString x11 = QStringLiteral("DESKTOP_STARTUP_ID=x11-7");
        qputenv("XDG_ACTIVATION_TOKEN", "stale-from-an-earlier-launch");
        QCOMPARE(claim(), Claim::Owner);
        const std::pair<QStringList, Token> launches[]
            = { { { wayland }, "wl-7" }, { { x11 }, "x11-7" }, { {}, std::nullopt } };
        for (const auto &[variables, token] : launches) {
            QProcess &veluna = start(VELUNA_EXECUTABLE, variables);
            // Waiting with the event loop running: this process is the instance veluna calls.
            QTRY_COMPARE_WITH_TIMEOUT(veluna.state(), QProcess::NotRunning, timeoutMs);
            QCOMPARE(std::pair(veluna.exitStatus(), veluna.exitCode()),
                     std::pair(QProcess::NormalExit, 0));
            QTRY_COMPARE(reopenTokens, QList<Token> { token });
            reopenTokens.clear();
        }
    }

    void ownerThatDoesNotAnswerIsReportedAndKeepsTheClaim()
    {
        QProcess &owner = start(VELUNA_INSTANCE_HELPER);
        QVERIFY(owner.waitForReadyRead(timeoutMs)); // one write, once the claim is made
        QCOMPARE(owner.readAll(), "owner\n");
        const QString ownerName = bus.ownerOf(serviceName);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("^The running instance did not answer"));
        QCOMPARE(claim(300ms), Claim::OwnerUnreachable);
        QCOMPARE(bus.ownerOf(serviceName), ownerName);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
