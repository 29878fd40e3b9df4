// Real crashes of a child process that installed the crash reporter: the record it leaves, the
// way it ends, and the upload of that record at its next launch.

#include "localhttpserver.h"
#include "requestidentity.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

class TestCrashCapture : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void crashLeavesOneRecord_data();
    void crashLeavesOneRecord();
    void nextLaunchUploadsRecordOnce();

private:
    // Runs the helper to its end, with the event loop running for a server in this process.
    QProcess *run(const QStringList &arguments, const QUrl &crashUrl = {});
    QString dataFolder() const { return m_home->path() + QStringLiteral("/data/Veluna"); }
    QByteArray record() const;

    std::unique_ptr<QTemporaryDir> m_home;
};

void TestCrashCapture::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(m_home->isValid());
}

QProcess *TestCrashCapture::run(const QStringList &arguments, const QUrl &crashUrl)
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
    QSignalSpy finished(process, &QProcess::finished);
    process->start(QStringLiteral(VELUNA_CRASH_HELPER), arguments);
    if (!finished.wait(15000))
        process->kill();
    return process;
}

QByteArray TestCrashCapture::record() const
{
    QFile file(dataFolder() + QStringLiteral("/pending-crash.txt"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestCrashCapture::crashLeavesOneRecord_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<QByteArray>("message");
    const auto row = [](const QString &how, int signalNumber, const QByteArray &message) {
        QTest::addRow("%s", qPrintable(how)) << how.split(' ') << signalNumber << message;
    };
    for (const char *how : { "segv", "segv-no-malloc", "thread-segv", "overflow" })
        row(QString::fromLatin1(how), SIGSEGV, "Signal 11");
    for (int number : { SIGABRT, SIGFPE, SIGILL, SIGBUS, SIGTRAP })
        row("raise " + QString::number(number), number, "Signal " + QByteArray::number(number));
    // The abort() that ends an uncaught exception must not replace its record with "Signal 6".
    row("throw-runtime", SIGABRT, "Exception: std::runtime_error : boom");
    row("throw-empty", SIGABRT, "Exception: std::logic_error : ");
    row("throw-int", SIGABRT, "Exception: int : ");
    row("throw-class", SIGABRT, "Exception: NotAnException : ");
}

void TestCrashCapture::crashLeavesOneRecord()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, signalNumber);
    QFETCH(QByteArray, message);

    const QProcess *process = run(arguments);
    QCOMPARE(process->exitStatus(), QProcess::CrashExit);
    QCOMPARE(process->exitCode(), signalNumber);

    const QByteArray text = record();
    QVERIFY2(text.startsWith(message + "\n---\n"), text.left(200).constData());
    const QList<QByteArray> frames = text.mid(message.size() + 5).split('\n');
    QVERIFY(frames.size() >= 1 && frames.size() <= 30);
    QVERIFY2(!frames.contains(QByteArray()), text.constData());
    if (arguments.first() == QLatin1String("overflow"))
        QCOMPARE(frames.size(), 30);
    // Only the record: the temporary file was renamed over it.
    QCOMPARE(QDir(dataFolder()).entryList(QDir::Files), QStringList { "pending-crash.txt" });
}

void TestCrashCapture::nextLaunchUploadsRecordOnce()
{
    QCOMPARE(run({ QStringLiteral("segv") })->exitCode(), SIGSEGV);
    const QByteArray text = record();
    LocalHttpServer server;
    server.setResponse("/crash", LocalHttpServer::Response::ok("{}", "application/json"));

    for (int launch = 0; launch < 2; ++launch) {
        const QProcess *process = run({ QStringLiteral("launch") }, server.url("/crash"));
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(process->exitCode(), 0);
        QVERIFY(record().isEmpty());
    }
    QCOMPARE(server.requests().size(), 1);
    const LocalHttpServer::Request &upload = server.requests().first();
    QCOMPARE(upload.method, QByteArray("POST"));
    QCOMPARE(upload.path(), QByteArray("/crash"));
    QCOMPARE(upload.headers.value("content-type"), QByteArray("application/json"));
    // The device id is read, never created, for a report.
    const QJsonObject expected { { "d", "?" },
                                 { "kind", "crash" },
                                 { "message", "Signal 11" },
                                 { "stack",
                                   QString::fromUtf8(text.mid(text.indexOf("---\n") + 4)) },
                                 { "v", VELUNA_PROJECT_VERSION },
                                 { "os", RequestIdentity::systemText() } };
    QCOMPARE(QJsonDocument::fromJson(upload.body).toJson(), QJsonDocument(expected).toJson());
}

QTEST_GUILESS_MAIN(TestCrashCapture)
#include "tst_crashcapture.moc"
