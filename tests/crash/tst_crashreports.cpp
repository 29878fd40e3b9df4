// The reports sent to a local server: the previous run's record, split and deleted first;
// errors; the scan of the system's crash reports, with its watermark, cut and read bound; and
// what is never followed or waited for.

#include "crashreporter.h"
#include "defaultsstore.h"
#include "endpoints.h"
#include "localhttpserver.h"
#include "networkaccess.h"
#include "requestidentity.h"
#include "systemreportscan.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

using Response = LocalHttpServer::Response;

namespace {
const QString watermarkKey = QStringLiteral("VLLastCrashScan");
const QString prefix = QStringLiteral("_usr_bin_veluna.");
const QString noMessage = QStringLiteral("Rapport système macOS");

struct Sent
{
    QString message;
    QString stack;
};

QDateTime at(int day, int hour, int second = 0)
{
    return QDateTime(QDate(2026, 3, day), QTime(hour, 0, second), Qt::UTC);
}

std::optional<QDateTime> watermark()
{
    return DefaultsStore::date(watermarkKey);
}

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// Every value a string; the device id read, never created.
QByteArray crashReport(const QString &message, const QString &stack)
{
    return compact({ { "d", "?" },
                     { "kind", "crash" },
                     { "message", message },
                     { "stack", stack },
                     { "v", VELUNA_PROJECT_VERSION },
                     { "os", RequestIdentity::systemText() } });
}

bool writeFile(const QString &path, const QByteArray &contents, const QDateTime &modified = {})
{
    QFile file(path);
    // Flushed before the date is set: a later flush would move it to now.
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size()
        && file.flush()
        && (!modified.isValid() || file.setFileTime(modified, QFileDevice::FileModificationTime));
}
} // namespace

class TestCrashReports : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void pendingRecordIsSplitSentAndDeleted_data();
    void pendingRecordIsSplitSentAndDeleted();
    void recordIsDeletedEvenWhenItCannotBeSent();
    void reportErrorSendsCallerStackFromAnyThread();
    void silentServerIsGivenUpAfterTheTimeout();
    void redirectsAreNotFollowed();

    void reportsAreChosenByNameAndTitledByContent_data();
    void reportsAreChosenByNameAndTitledByContent();
    void onlyOwnReportsNewerThanTheWatermarkAreSent();
    void watermarkIsWrittenOnlyWhenTheFolderCanBeListed();
    void reportsAreCutToCharactersAndReadOnlyUpToTheBound();
    void systemReportsTravelAsCrashUploads();

private:
    // The bodies received once every reply has ended (each is freed when it does).
    QList<QJsonObject> uploads(int timeoutMs = 5000) const;
    void writeReport(const QString &name, const QByteArray &contents, const QDateTime &modified)
    {
        QVERIFY(writeFile(m_folder->filePath(name), contents, modified));
    }
    QList<Sent> scan(const QString &folder = {});

    std::unique_ptr<LocalHttpServer> m_server;
    std::unique_ptr<QTemporaryDir> m_folder;
};

void TestCrashReports::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setApplicationName(QStringLiteral("Veluna"));
}

void TestCrashReports::init()
{
    DefaultsStore::clear();
    QFile::remove(CrashReporter::pendingCrashPath());
    m_folder = std::make_unique<QTemporaryDir>();
    m_server = std::make_unique<LocalHttpServer>();
    m_server->setResponse("/crash", Response::ok("{}", "application/json"));
    Endpoints::setOverrideForTests(Endpoints::Kind::Crash, m_server->url("/crash"));
}

QList<QJsonObject> TestCrashReports::uploads(int timeoutMs) const
{
    if (!QTest::qWaitFor(
            [] { return NetworkAccess::shared().findChildren<QNetworkReply *>().isEmpty(); },
            timeoutMs))
        return {};
    QList<QJsonObject> bodies;
    for (const LocalHttpServer::Request &request : m_server->requests())
        bodies << QJsonDocument::fromJson(request.body).object();
    return bodies;
}

QList<Sent> TestCrashReports::scan(const QString &folder)
{
    QList<Sent> sent;
    SystemReportScan::run(folder.isEmpty() ? m_folder->path() : folder, prefix,
                          [&sent](const QString &message, const QString &stack) {
                              sent.append({ message, stack });
                          });
    return sent;
}

void TestCrashReports::pendingRecordIsSplitSentAndDeleted_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("stack");
    const auto row
        = [](const char *name, const char *contents, const char *message, const char *stack) {
              QTest::newRow(name) << QByteArray(contents) << QString::fromUtf8(message)
                                  << QString::fromUtf8(stack);
          };
    row("message and frames", "M\n---\nF1\nF2", "M", "F1\nF2");
    row("no separator", "just text\nover two lines", "just text\nover two lines", "");
    row("past a second separator, dropped", "M\n---\nS1\nS2\n---\nrest\n---\nmore", "M", "S1\nS2");
    row("empty stack", "Signal 11\n---\n", "Signal 11", "");
    row("empty message", "\n---\nF", "", "F");
    row("invalid UTF-8 replaced, not dropped", "E : caf\xe9 d\xc3\xa9j\xc3\xa0\n---\nF",
        "E : caf\uFFFD d\u00e9j\u00e0", "F");
}

void TestCrashReports::pendingRecordIsSplitSentAndDeleted()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, message);
    QFETCH(QString, stack);
    QVERIFY(writeFile(CrashReporter::pendingCrashPath(), contents));

    CrashReporter::sendPendingCrash();
    QVERIFY(!QFile::exists(CrashReporter::pendingCrashPath()));
    const QList<QJsonObject> bodies = uploads();
    QCOMPARE(bodies.size(), 1);
    QCOMPARE(m_server->requests().first().method, QByteArray("POST"));
    QCOMPARE(m_server->requests().first().headers.value("content-type"), "application/json");
    QCOMPARE(compact(bodies.first()), crashReport(message, stack));
}

// The record goes before the upload is even tried, so it is never sent twice.
void TestCrashReports::recordIsDeletedEvenWhenItCannotBeSent()
{
    QVERIFY(writeFile(CrashReporter::pendingCrashPath(), "Signal 6\n---\nF"));
    // A clear-text address off this machine is refused: no request at all.
    Endpoints::setOverrideForTests(Endpoints::Kind::Crash, QUrl("http://reports.example.org/c"));

    CrashReporter::sendPendingCrash();
    QVERIFY(!QFile::exists(CrashReporter::pendingCrashPath()));
    QVERIFY(NetworkAccess::shared().findChildren<QNetworkReply *>().isEmpty());
}

// Errors go out at once with the caller's stack and write nothing; from another thread too.
void TestCrashReports::reportErrorSendsCallerStackFromAnyThread()
{
    CrashReporter::reportError(QStringLiteral("could not save"));
    std::thread([] { CrashReporter::reportError(QStringLiteral("from a worker")); }).join();
    QTRY_COMPARE(m_server->requests().size(), 2);
    QList<QJsonObject> bodies = uploads();
    if (bodies.first().value("message") != QJsonValue("could not save"))
        bodies.swapItemsAt(0, 1);
    QCOMPARE(bodies[1].value("message").toString(), QStringLiteral("from a worker"));
    for (const QJsonObject &body : bodies)
        QCOMPARE(body.value("kind").toString(), QStringLiteral("error"));
    const QString stack = bodies[0].value("stack").toString();
    const QStringList frames = stack.split(QLatin1Char('\n'));
    QVERIFY2(frames.size() >= 2 && frames.size() <= 15, qPrintable(stack));
    QVERIFY2(stack.contains(QStringLiteral("tst_crashreports")), qPrintable(stack));
    QVERIFY(!QFile::exists(CrashReporter::pendingCrashPath()));
}

// Nobody waits for an upload, but a server that never answers must not keep it (and its
// connection) alive for the rest of the run.
void TestCrashReports::silentServerIsGivenUpAfterTheTimeout()
{
    m_server->setResponse("/crash", { .neverAnswer = true });
    QElapsedTimer elapsed;
    elapsed.start();
    CrashReporter::send(QStringLiteral("crash"), QStringLiteral("m"), QStringLiteral("s"));
    QCOMPARE(NetworkAccess::shared().findChildren<QNetworkReply *>().size(), 1);
    QCOMPARE(uploads(15000).size(), 1);
    QVERIFY2(elapsed.elapsed() >= 7500, qPrintable(QString::number(elapsed.elapsed())));
}

void TestCrashReports::redirectsAreNotFollowed()
{
    m_server->setResponse("/crash", Response::redirect(m_server->url("/other").toEncoded(), 307));
    m_server->setResponse("/other", Response::ok("{}"));
    CrashReporter::send(QStringLiteral("crash"), QStringLiteral("m"), QStringLiteral("s"));
    QCOMPARE(uploads().size(), 1);
    QCOMPARE(m_server->requestCount("/other"), 0);
}

void TestCrashReports::reportsAreChosenByNameAndTitledByContent_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("message"); // null: not sent
    const auto row
        = [](const char *tag, const QString &name, const QByteArray &contents,
             const QString &message = {}) { QTest::newRow(tag) << name << contents << message; };
    row("exception line, whole", prefix + "1.crash",
        "ProblemType: Crash\nException Type: EXC_BAD_ACCESS (SIGSEGV)\nSignal: 11\n",
        "Exception Type: EXC_BAD_ACCESS (SIGSEGV)");
    row("ips, first matching line wins", prefix + "1.ips",
        "Termination Reason: abort\nException Type: EXC_CRASH\n", "Termination Reason: abort");
    row("words are case-sensitive", prefix + "1.crash", "exception: x\nTERMINATION\n", noMessage);
    row("empty report", prefix + "1.crash", "", noMessage);
    const QByteArray report = "Exception Type: EXC_CRASH\n";
    row("apport upload marker", prefix + "1.upload", report);
    row("suffix not at the end", prefix + "1.crash.bak", report);
    row("name extending ours", "_usr_bin_veluna-helper.1.crash", report);
    row("another program", "_usr_bin_other.1.crash", report);
    row("case differs", "_USR_BIN_VELUNA.1.crash", report);
    row("prefix not at the start", "x" + prefix + "1.crash", report);
}

void TestCrashReports::reportsAreChosenByNameAndTitledByContent()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, contents);
    QFETCH(QString, message);
    writeReport(name, contents, at(1, 1));
    const QList<Sent> sent = scan();
    QCOMPARE(sent.size(), message.isNull() ? 0 : 1);
    if (!message.isNull()) {
        QCOMPARE(sent[0].message, message);
        QCOMPARE(sent[0].stack, QString::fromUtf8(contents));
    }
}

// Reports go in name order; a foreign or misnamed file neither goes nor moves the watermark.
void TestCrashReports::onlyOwnReportsNewerThanTheWatermarkAreSent()
{
    writeReport(prefix + "1000.crash", "ProblemType: Crash\nSignal: 11\n", at(2, 10));
    writeReport(prefix + "1001.crash", "Exception Type: EXC_CRASH\n", at(4, 9));
    writeReport(prefix + "1002.ips", "Termination Reason: abort\n", at(3, 8));
    writeReport("_usr_bin_other.1000.crash", "Exception: other\n", at(6, 1));
    writeReport(prefix + "1000.crash.txt", "Exception: misnamed\n", at(6, 3));

    QList<Sent> sent = scan();
    QCOMPARE(sent.size(), 3);
    QCOMPARE(sent[0].message, noMessage);
    QCOMPARE(sent[0].stack, QStringLiteral("ProblemType: Crash\nSignal: 11\n"));
    QCOMPARE(sent[1].message, QStringLiteral("Exception Type: EXC_CRASH"));
    QCOMPARE(sent[2].message, QStringLiteral("Termination Reason: abort"));
    QCOMPARE(watermark(), std::optional(at(4, 9)));
    QCOMPARE(scan().size(), 0);

    writeReport(prefix + "1003.crash", "same date as the watermark\n", at(4, 9));
    writeReport(prefix + "1004.crash", "older\n", at(1, 12));
    writeReport(prefix + "1005.crash", "one second later\n", at(4, 9, 1));
    sent = scan();
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent[0].stack, QStringLiteral("one second later\n"));
    QCOMPARE(watermark(), std::optional(at(4, 9, 1)));
}

// A scan that found nothing still happened: the watermark is then the distant past it began at.
void TestCrashReports::watermarkIsWrittenOnlyWhenTheFolderCanBeListed()
{
    QCOMPARE(scan(m_folder->filePath("absent")).size(), 0);
    QVERIFY(!DefaultsStore::value(watermarkKey).isValid());
    QCOMPARE(scan().size(), 0);
    QVERIFY(watermark());
    QVERIFY(*watermark() < at(1, 0));
}

// "é" written as e + combining acute is two UTF-16 units, one character to a reader. A report
// past the read bound still goes, from its first MiB: a line beyond it is never seen.
void TestCrashReports::reportsAreCutToCharactersAndReadOnlyUpToTheBound()
{
    writeReport(prefix + "1000.crash", QByteArray(50000, 'x'), at(7, 1));
    writeReport(prefix + "1001.crash", QByteArray("e\xcc\x81").repeated(20000), at(7, 2));
    writeReport(prefix + "1002.crash",
                "ProblemType: Crash\n" + QByteArray(2 * 1024 * 1024, 'y')
                    + "\nException Type: beyond the bound\n",
                at(7, 3));

    const QList<Sent> sent = scan();
    QCOMPARE(sent.size(), 3);
    QCOMPARE(sent[0].stack, QString(18000, QLatin1Char('x')));
    QCOMPARE(sent[1].stack, QStringLiteral("e\u0301").repeated(18000));
    QCOMPARE(sent[2].message, noMessage);
    QCOMPARE(sent[2].stack.size(), 18000);
}

// Through the reporter itself, which scans /var/crash at launch: the names come from this
// executable's path, and every report goes out as a "crash" upload.
void TestCrashReports::systemReportsTravelAsCrashUploads()
{
    QCOMPARE(SystemReportScan::defaultFolder(), QStringLiteral("/var/crash"));
    QCOMPARE(SystemReportScan::reportNamePrefix(QStringLiteral("/opt/Veluna 2/bin/veluna")),
             QStringLiteral("_opt_Veluna 2_bin_veluna."));
    const QString ownName = QCoreApplication::applicationFilePath().replace('/', '_');
    const QString report = QStringLiteral("Exception Type: EXC_BAD_ACCESS\nThread 0\n");
    writeReport(ownName + ".0.crash", report.toUtf8(), at(9, 1));
    writeReport("_usr_bin_veluna.0.crash", "not ours\n", at(9, 2));

    CrashReporter::sendSystemCrashReports(m_folder->path());
    const QList<QJsonObject> bodies = uploads();
    QCOMPARE(bodies.size(), 1);
    QCOMPARE(compact(bodies[0]), crashReport("Exception Type: EXC_BAD_ACCESS", report));
    QCOMPARE(watermark(), std::optional(at(9, 1)));
}

QTEST_GUILESS_MAIN(TestCrashReports)
#include "tst_crashreports.moc"
