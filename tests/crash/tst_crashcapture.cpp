// Real crashes of a child process that installed the crash reporter: the record it leaves, the
// way it ends, and the upload of that record at its next launch.

#include "reportserver.h"
#include "requestidentity.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {
constexpr int childTimeoutMs = 15000;

struct Ending
{
    QProcess::ExitStatus status = QProcess::NormalExit;
    int code = -1; // the signal number after a crash
};
} // namespace

class TestCrashCapture : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void fatalSignalLeavesRecord_data();
    void fatalSignalLeavesRecord();
    void uncaughtExceptionLeavesItsOwnRecord_data();
    void uncaughtExceptionLeavesItsOwnRecord();
    void nextLaunchUploadsRecordOnce();

private:
    QProcess *startHelper(const QStringList &arguments, const QUrl &crashUrl = {});
    Ending crash(const QStringList &arguments);
    QString recordPath() const
    {
        return m_home->path() + QStringLiteral("/data/Veluna/pending-crash.txt");
    }
    QByteArray record() const;
    void launchAndWait(ReportServer &server);

    std::unique_ptr<QTemporaryDir> m_home;
};

void TestCrashCapture::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(m_home->isValid());
}

QProcess *TestCrashCapture::startHelper(const QStringList &arguments, const QUrl &crashUrl)
{
    auto *process = new QProcess(this);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), m_home->path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home->path() + QStringLiteral("/data"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                       m_home->path() + QStringLiteral("/config"));
    environment.insert(QStringLiteral("VELUNA_TEST_CRASH_URL"), crashUrl.toString());
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // No core files from the crashes we cause on purpose.
    process->setChildProcessModifier([] {
        const rlimit none { 0, 0 };
        ::setrlimit(RLIMIT_CORE, &none);
    });
    process->start(QStringLiteral(VELUNA_CRASH_HELPER), arguments);
    return process;
}

Ending TestCrashCapture::crash(const QStringList &arguments)
{
    QProcess *process = startHelper(arguments);
    if (!process->waitForFinished(childTimeoutMs)) {
        process->kill();
        process->waitForFinished();
        return {};
    }
    return { process->exitStatus(), process->exitCode() };
}

QByteArray TestCrashCapture::record() const
{
    QFile file(recordPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The server lives in this process, so wait with the event loop running.
void TestCrashCapture::launchAndWait(ReportServer &server)
{
    QProcess *process
        = startHelper({ QStringLiteral("launch") }, server.url(QStringLiteral("/crash")));
    QSignalSpy finished(process, &QProcess::finished);
    if (!finished.wait(childTimeoutMs))
        process->kill();
    QCOMPARE(finished.size(), 1);
    QCOMPARE(process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(process->exitCode(), 0);
}

void TestCrashCapture::fatalSignalLeavesRecord_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("null write") << QStringList { "segv" } << SIGSEGV;
    QTest::newRow("null write, allocation forbidden")
        << QStringList { "segv-no-malloc" } << SIGSEGV;
    QTest::newRow("null write off the main thread") << QStringList { "thread-segv" } << SIGSEGV;
    QTest::newRow("stack overflow") << QStringList { "overflow" } << SIGSEGV;
    QTest::newRow("abort") << QStringList { "abort" } << SIGABRT;
    QTest::newRow("division by zero") << QStringList { "fpe" } << SIGFPE;
    QTest::newRow("SIGILL") << QStringList { "raise", QString::number(SIGILL) } << SIGILL;
    QTest::newRow("SIGBUS") << QStringList { "raise", QString::number(SIGBUS) } << SIGBUS;
    QTest::newRow("SIGTRAP") << QStringList { "raise", QString::number(SIGTRAP) } << SIGTRAP;
}

void TestCrashCapture::fatalSignalLeavesRecord()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, signalNumber);

    const Ending ending = crash(arguments);
    QCOMPARE(ending.status, QProcess::CrashExit);
    QCOMPARE(ending.code, signalNumber);

    const QByteArray text = record();
    const QByteArray head = "Signal " + QByteArray::number(signalNumber) + "\n---\n";
    QVERIFY2(text.startsWith(head), text.left(200).constData());
    const QList<QByteArray> frames = text.mid(head.size()).split('\n');
    QVERIFY(frames.size() >= 1 && frames.size() <= 30);
    for (const QByteArray &frame : frames)
        QVERIFY2(!frame.isEmpty(), text.constData());
    if (arguments.first() == QLatin1String("overflow"))
        QCOMPARE(frames.size(), 30);
    // Only the record: the temporary file was renamed over it.
    QCOMPARE(QDir(m_home->path() + QStringLiteral("/data/Veluna")).entryList(QDir::Files),
             QStringList { QStringLiteral("pending-crash.txt") });
}

void TestCrashCapture::uncaughtExceptionLeavesItsOwnRecord_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("std::exception")
        << "exception" << QByteArray("Exception: std::runtime_error : boom");
    QTest::newRow("empty reason") << "empty-exception"
                                  << QByteArray("Exception: std::logic_error : ");
    QTest::newRow("int") << "throw-int" << QByteArray("Exception: int : ");
    QTest::newRow("other class") << "throw-class" << QByteArray("Exception: NotAnException : ");
}

// The abort() that follows must not replace the exception's record with "Signal 6".
void TestCrashCapture::uncaughtExceptionLeavesItsOwnRecord()
{
    QFETCH(QString, how);
    QFETCH(QByteArray, message);

    const Ending ending = crash({ how });
    QCOMPARE(ending.status, QProcess::CrashExit);
    QCOMPARE(ending.code, SIGABRT);

    const QByteArray text = record();
    QVERIFY2(text.startsWith(message + "\n---\n"), text.left(200).constData());
    const QList<QByteArray> frames = text.mid(message.size() + 5).split('\n');
    QVERIFY(frames.size() >= 1 && frames.size() <= 30);
    QVERIFY(!frames.last().isEmpty());
}

void TestCrashCapture::nextLaunchUploadsRecordOnce()
{
    QCOMPARE(crash({ QStringLiteral("segv") }).code, SIGSEGV);
    const QByteArray text = record();
    const QByteArray stack = text.mid(text.indexOf("\n---\n") + 5);
    ReportServer server;
    QVERIFY(server.isListening());

    launchAndWait(server);
    QCOMPARE(server.requests().size(), 1);
    const ReportServer::Request &upload = server.requests().first();
    QCOMPARE(upload.method, QByteArray("POST"));
    QCOMPARE(upload.path, QByteArray("/crash"));
    QCOMPARE(upload.headers.value("content-type"), QByteArray("application/json"));
    const QJsonObject body = upload.json();
    QCOMPARE(body.keys(), (QStringList { "d", "kind", "message", "os", "stack", "v" }));
    QCOMPARE(body.value("kind").toString(), QStringLiteral("crash"));
    QCOMPARE(body.value("message").toString(), QStringLiteral("Signal 11"));
    QCOMPARE(body.value("stack").toString(), QString::fromUtf8(stack));
    QCOMPARE(body.value("d").toString(), QStringLiteral("?"));
    QCOMPARE(body.value("os").toString(), RequestIdentity::systemText());
    QVERIFY(!QFile::exists(recordPath()));

    server.clear();
    launchAndWait(server);
    QCOMPARE(server.requests().size(), 0);
}

QTEST_GUILESS_MAIN(TestCrashCapture)
#include "tst_crashcapture.moc"
