#include "dbussingleinstance.h"
#include "desktopidentity.h"
#include "privatesessionbus.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

#include <signal.h>
#include <sys/prctl.h>

// One Veluna per session, over a private session bus: the first launch owns the desktop id,
// later launches hand their activation token over to it and end, and a desktop shell can ask it
// to come forward through org.freedesktop.Application. Other launches are played by
// veluna-instance-helper (the claim alone) and by the real veluna binary.
class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void desktopCallsAskForAReopenWithTheirToken_data();
    void desktopCallsAskForAReopenWithTheirToken();
    void secondLaunchHandsItsTokenToTheRunningInstance();
    void ownerDyingWhileASecondLaunchKnocksLeavesThatLaunchInCharge();
    void ownerThatDoesNotAnswerIsReportedAndKeepsTheClaim();
    void reopenThatOpensADialogDoesNotKeepTheLauncherWaiting();

    void secondVelunaEndsAtOnceAndPassesItsToken_data();
    void secondVelunaEndsAtOnceAndPassesItsToken();
    void velunaRunsUntilTerminated_data();
    void velunaRunsUntilTerminated();

private:
    DBusSingleInstance &makeInstance(std::chrono::milliseconds answerTimeout
                                     = std::chrono::seconds(10));
    QProcess &start(const QString &program, const QStringList &arguments = {},
                    const QProcessEnvironment &environment
                    = QProcessEnvironment::systemEnvironment());
    QProcess &startHelper(const QStringList &arguments = {});
    // A running instance in another process, stopped with SIGSTOP when frozen; nothing when it
    // did not get the claim or could not be stopped.
    QProcess *startOwnerHelper(bool frozen = false);

    PrivateSessionBus m_bus;
    std::unique_ptr<DBusSingleInstance> m_instance;
    std::vector<std::unique_ptr<QProcess>> m_processes;
    // XDG_ACTIVATION_TOKEN as each reopen request found it (nothing when unset).
    QList<std::optional<QString>> m_reopenTokens;
};

namespace {

const QString serviceName = QStringLiteral("app.plenox.Veluna");
const QString objectPath = QStringLiteral("/app/plenox/Veluna");
const QString applicationInterface = QStringLiteral("org.freedesktop.Application");
constexpr int processTimeoutMs = 10000;

// The next line the process prints, or "exited" once it is gone without one.
QString nextLine(QProcess &process)
{
    QDeadlineTimer deadline(processTimeoutMs);
    while (!process.canReadLine() && process.state() != QProcess::NotRunning
           && !deadline.hasExpired())
        process.waitForReadyRead(100);
    if (!process.canReadLine())
        return process.state() == QProcess::NotRunning ? QStringLiteral("exited")
                                                       : QStringLiteral("timed out");
    return QString::fromUtf8(process.readLine()).trimmed();
}

// SIGSTOP lands asynchronously; a test relying on a frozen owner must see it frozen.
bool waitUntilStopped(qint64 pid)
{
    QDeadlineTimer deadline(processTimeoutMs);
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    while (!deadline.hasExpired()) {
        if (!stat.open(QIODevice::ReadOnly))
            return false;
        const QByteArray fields = stat.readAll();
        stat.close();
        const qsizetype afterName = fields.lastIndexOf(')');
        if (afterName > 0 && fields.mid(afterName + 2, 1) == "T")
            return true;
        QTest::qWait(10);
    }
    return false;
}

} // namespace

void TestSingleInstance::initTestCase()
{
    // Whatever launched the test says nothing about the launches played here.
    qunsetenv("XDG_ACTIVATION_TOKEN");
    qunsetenv("DESKTOP_STARTUP_ID");
    QVERIFY(m_bus.start());
}

void TestSingleInstance::cleanup()
{
    m_instance.reset();
    for (const auto &process : m_processes) {
        process->kill(); // stopped ones included
        process->waitForFinished(processTimeoutMs);
    }
    m_processes.clear();
    m_reopenTokens.clear();
    qunsetenv("XDG_ACTIVATION_TOKEN");
    qunsetenv("DESKTOP_STARTUP_ID");
    QVERIFY(m_bus.waitForOwner(serviceName, false));
}

DBusSingleInstance &TestSingleInstance::makeInstance(std::chrono::milliseconds answerTimeout)
{
    m_instance = std::make_unique<DBusSingleInstance>(
        QString::fromLatin1(DesktopIdentity::desktopId), answerTimeout);
    connect(m_instance.get(), &SingleInstance::reopenRequested, this, [this] {
        m_reopenTokens.append(qEnvironmentVariableIsSet("XDG_ACTIVATION_TOKEN")
                                  ? std::optional(qEnvironmentVariable("XDG_ACTIVATION_TOKEN"))
                                  : std::nullopt);
    });
    return *m_instance;
}

QProcess &TestSingleInstance::start(const QString &program, const QStringList &arguments,
                                    const QProcessEnvironment &environment)
{
    auto process = std::make_unique<QProcess>();
    process->setProgram(program);
    process->setArguments(arguments);
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The child dies with the test even when a crash or a time-out skips every destructor.
    process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process->start();
    m_processes.push_back(std::move(process));
    return *m_processes.back();
}

QProcess &TestSingleInstance::startHelper(const QStringList &arguments)
{
    return start(QStringLiteral(VELUNA_INSTANCE_HELPER), arguments);
}

QProcess *TestSingleInstance::startOwnerHelper(bool frozen)
{
    QProcess &owner = startHelper();
    const QString claim = nextLine(owner);
    if (claim != QLatin1String("owner")) {
        qWarning() << "the helper meant to own the claim says" << claim;
        return nullptr;
    }
    if (frozen) {
        ::kill(pid_t(owner.processId()), SIGSTOP);
        if (!waitUntilStopped(owner.processId()))
            return nullptr;
    }
    return &owner;
}

void TestSingleInstance::desktopCallsAskForAReopenWithTheirToken_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QVariantList>("arguments");
    QTest::addColumn<std::optional<QString>>("token");

    QTest::newRow("Activate from a Wayland launcher")
        << "Activate"
        << QVariantList { QVariant::fromValue<QVariantMap>(
               { { "activation-token", "wayland-1" }, { "desktop-startup-id", "x11-1" } }) }
        << std::optional<QString>("wayland-1");
    QTest::newRow("Open from an X11 launcher")
        << "Open"
        << QVariantList { QStringList { "file:///tmp/notes.txt" },
                          QVariant::fromValue<QVariantMap>({ { "desktop-startup-id", "x11-2" } }) }
        << std::optional<QString>("x11-2");
    QTest::newRow("ActivateAction without a token drops a stale one")
        << "ActivateAction"
        << QVariantList { QString("quit"), QVariantList(), QVariant::fromValue<QVariantMap>({}) }
        << std::optional<QString>();
}

void TestSingleInstance::desktopCallsAskForAReopenWithTheirToken()
{
    QFETCH(QString, method);
    QFETCH(QVariantList, arguments);
    QFETCH(std::optional<QString>, token);
    qputenv("XDG_ACTIVATION_TOKEN", "stale-from-an-earlier-launch");
    QCOMPARE(makeInstance().claim(), SingleInstance::Claim::Owner);

    QDBusMessage call
        = QDBusMessage::createMethodCall(serviceName, objectPath, applicationInterface, method);
    call.setArguments(arguments);
    // Asynchronous: the instance answers from this very process's event loop.
    QDBusPendingCallWatcher answer(m_bus.connection().asyncCall(call));
    QTRY_VERIFY_WITH_TIMEOUT(answer.isFinished(), processTimeoutMs);
    QVERIFY2(!answer.isError(), qPrintable(answer.error().message()));
    QTRY_COMPARE(m_reopenTokens.size(), 1);
    QCOMPARE(m_reopenTokens.first(), token);
}

void TestSingleInstance::secondLaunchHandsItsTokenToTheRunningInstance()
{
    QProcess *owner = startOwnerHelper();
    QVERIFY(owner);
    qputenv("XDG_ACTIVATION_TOKEN", "token-of-the-second-launch");

    QCOMPARE(makeInstance().claim(), SingleInstance::Claim::HandedOver);
    QCOMPARE(nextLine(*owner), QStringLiteral("reopen token-of-the-second-launch"));
    // Handing over neither takes the claim nor leaves this process's object on the bus.
    QVERIFY(m_bus.ownerOf(serviceName) != QDBusConnection::sessionBus().baseService());
    QVERIFY(!QDBusConnection::sessionBus().objectRegisteredAt(objectPath));
}

void TestSingleInstance::ownerDyingWhileASecondLaunchKnocksLeavesThatLaunchInCharge()
{
    QProcess *owner = startOwnerHelper(true);
    QVERIFY(owner);
    QProcess &monitor
        = start(QStringLiteral("dbus-monitor"),
                { QStringLiteral("--address"), m_bus.address(),
                  QStringLiteral("type='method_call',interface='org.freedesktop.Application'") });
    QByteArray seen;
    // dbus-monitor loses its own name once it has become a monitor.
    QTRY_VERIFY_WITH_TIMEOUT((seen += monitor.readAll()).contains("member=NameLost"),
                             processTimeoutMs);

    QProcess &secondLaunch = startHelper();
    QTRY_VERIFY_WITH_TIMEOUT((seen += monitor.readAll()).contains("member=Activate"),
                             processTimeoutMs);
    QCOMPARE(secondLaunch.state(), QProcess::Running); // still waiting for the frozen owner
    owner->kill();

    QCOMPARE(nextLine(secondLaunch), QStringLiteral("owner"));
    QVERIFY(m_bus.waitForOwner(serviceName));
}

void TestSingleInstance::ownerThatDoesNotAnswerIsReportedAndKeepsTheClaim()
{
    QVERIFY(startOwnerHelper(true));
    const QString ownerName = m_bus.ownerOf(serviceName);

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^The running instance did not answer"));
    QCOMPARE(makeInstance(std::chrono::milliseconds(300)).claim(),
             SingleInstance::Claim::OwnerUnreachable);
    QCOMPARE(m_bus.ownerOf(serviceName), ownerName);
}

void TestSingleInstance::reopenThatOpensADialogDoesNotKeepTheLauncherWaiting()
{
    QCOMPARE(makeInstance().claim(), SingleInstance::Claim::Owner);
    bool dialogDone = false;
    connect(m_instance.get(), &SingleInstance::reopenRequested, this, [&dialogDone] {
        QEventLoop dialog; // what a modal dialog runs while it is up
        QTimer::singleShot(1500, &dialog, &QEventLoop::quit);
        dialog.exec();
        dialogDone = true;
    });

    QProcess &secondLaunch = startHelper({ QStringLiteral("500") });
    QTRY_VERIFY_WITH_TIMEOUT(dialogDone, processTimeoutMs);
    QCOMPARE(nextLine(secondLaunch), QStringLiteral("handed-over"));
}

void TestSingleInstance::secondVelunaEndsAtOnceAndPassesItsToken_data()
{
    QTest::addColumn<QString>("variable");
    QTest::addColumn<std::optional<QString>>("token");

    QTest::newRow("Wayland token") << "XDG_ACTIVATION_TOKEN" << std::optional<QString>("wl-7");
    QTest::newRow("X11 startup id") << "DESKTOP_STARTUP_ID" << std::optional<QString>("x11-7");
    QTest::newRow("no token") << QString() << std::optional<QString>();
}

void TestSingleInstance::secondVelunaEndsAtOnceAndPassesItsToken()
{
    QFETCH(QString, variable);
    QFETCH(std::optional<QString>, token);
    qputenv("XDG_ACTIVATION_TOKEN", "stale-from-an-earlier-launch");
    QCOMPARE(makeInstance().claim(), SingleInstance::Claim::Owner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XDG_ACTIVATION_TOKEN"));
    if (token)
        environment.insert(variable, *token);

    QProcess &veluna = start(QStringLiteral(VELUNA_EXECUTABLE), {}, environment);
    // Waiting with the event loop running: this process is the instance veluna calls.
    QTRY_COMPARE_WITH_TIMEOUT(veluna.state(), QProcess::NotRunning, processTimeoutMs);
    QCOMPARE(veluna.exitStatus(), QProcess::NormalExit);
    QCOMPARE(veluna.exitCode(), 0);
    QTRY_COMPARE(m_reopenTokens.size(), 1);
    QCOMPARE(m_reopenTokens.first(), token);
}

void TestSingleInstance::velunaRunsUntilTerminated_data()
{
    QTest::addColumn<bool>("sessionBus");
    QTest::newRow("owning its name; a second launch ends") << true;
    QTest::newRow("without a session bus") << false;
}

void TestSingleInstance::velunaRunsUntilTerminated()
{
    QFETCH(bool, sessionBus);
    const QTemporaryDir nowhere;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!sessionBus)
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                           QStringLiteral("unix:path=") + nowhere.filePath(QStringLiteral("bus")));
    QProcess &veluna = start(QStringLiteral(VELUNA_EXECUTABLE), {}, environment);
    if (sessionBus) {
        QVERIFY(m_bus.waitForOwner(serviceName, true, processTimeoutMs));
        QProcess &second = start(QStringLiteral(VELUNA_EXECUTABLE));
        QVERIFY(second.waitForFinished(processTimeoutMs));
        QCOMPARE(second.exitCode(), 0);
    }
    // A launch that hands over or gives up ends within a fraction of this.
    QVERIFY(!veluna.waitForFinished(1500));
    veluna.terminate();
    QVERIFY(veluna.waitForFinished(processTimeoutMs));
    QCOMPARE(veluna.exitStatus(), QProcess::NormalExit);
    QCOMPARE(veluna.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
