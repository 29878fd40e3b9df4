// The scan of the system's crash reports: which files count, what is sent from each, and how
// the watermark keeps a report from being sent twice.

#include "crashreporter.h"
#include "defaultsstore.h"
#include "endpoints.h"
#include "networkaccess.h"
#include "reportserver.h"
#include "systemreportscan.h"

#include <QCoreApplication>
#include <QFile>
#include <QNetworkReply>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString watermarkKey = QStringLiteral("VLLastCrashScan");
const QString prefix = QStringLiteral("_usr_bin_veluna.");

struct Sent
{
    QString message;
    QString stack;
};

QDateTime at(int day, int hour, int second = 0)
{
    return QDateTime(QDate(2026, 3, day), QTime(hour, 0, second), Qt::UTC);
}
} // namespace

class TestSystemReportScan : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void reportNamesFollowTheExecutablePath();
    void candidates_data();
    void candidates();
    void message_data();
    void message();

    void firstScanSendsEveryReportInNameOrder();
    void nextScanSendsOnlyNewerReports();
    void foreignAndMisnamedFilesAreIgnored();
    void longReportIsCutToUserPerceivedCharacters();
    void oversizedReportIsReadOnlyUpToTheBound();
    void missingFolderLeavesWatermarkUnwritten();
    void reportsTravelAsCrashUploads();

private:
    void writeReport(const QString &name, const QByteArray &contents, const QDateTime &modified);
    QList<Sent> scan();

    std::unique_ptr<QTemporaryDir> m_folder;
};

void TestSystemReportScan::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setApplicationName(QStringLiteral("Veluna"));
}

void TestSystemReportScan::init()
{
    DefaultsStore::clear();
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
}

void TestSystemReportScan::writeReport(const QString &name, const QByteArray &contents,
                                       const QDateTime &modified)
{
    QFile file(m_folder->filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(contents), contents.size());
    // Flushed first: a later flush would move the date to now.
    QVERIFY(file.flush());
    QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

QList<Sent> TestSystemReportScan::scan()
{
    QList<Sent> sent;
    SystemReportScan::run(m_folder->path(), prefix,
                          [&sent](const QString &message, const QString &stack) {
                              sent.append({ message, stack });
                          });
    return sent;
}

void TestSystemReportScan::reportNamesFollowTheExecutablePath()
{
    QCOMPARE(SystemReportScan::reportNamePrefix(QStringLiteral("/usr/bin/veluna")), prefix);
    QCOMPARE(SystemReportScan::reportNamePrefix(QStringLiteral("/opt/Veluna 2/bin/veluna")),
             QStringLiteral("_opt_Veluna 2_bin_veluna."));
    QCOMPARE(SystemReportScan::defaultFolder(), QStringLiteral("/var/crash"));
}

void TestSystemReportScan::candidates_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("candidate");
    QTest::newRow("apport report") << "_usr_bin_veluna.1000.crash" << true;
    QTest::newRow("ips report") << "_usr_bin_veluna.1000.ips" << true;
    QTest::newRow("apport upload marker") << "_usr_bin_veluna.1000.upload" << false;
    QTest::newRow("apport uploaded marker") << "_usr_bin_veluna.1000.uploaded" << false;
    QTest::newRow("suffix not at the end") << "_usr_bin_veluna.1000.crash.bak" << false;
    QTest::newRow("program whose name extends ours")
        << "_usr_bin_veluna-helper.1000.crash" << false;
    QTest::newRow("another program") << "_usr_bin_other.1000.crash" << false;
    QTest::newRow("case differs") << "_USR_BIN_VELUNA.1000.crash" << false;
    QTest::newRow("prefix not at the start") << "x_usr_bin_veluna.1000.crash" << false;
}

void TestSystemReportScan::candidates()
{
    QFETCH(QString, name);
    QFETCH(bool, candidate);
    QCOMPARE(SystemReportScan::isCandidate(name, prefix), candidate);
}

void TestSystemReportScan::message_data()
{
    QTest::addColumn<QString>("report");
    QTest::addColumn<QString>("message");
    QTest::newRow("exception line, whole")
        << "ProblemType: Crash\nException Type: EXC_BAD_ACCESS (SIGSEGV)\nSignal: 11\n"
        << "Exception Type: EXC_BAD_ACCESS (SIGSEGV)";
    QTest::newRow("termination line")
        << "ProblemType: Crash\nTermination Reason: Namespace SIGNAL, Code 6\n"
        << "Termination Reason: Namespace SIGNAL, Code 6";
    QTest::newRow("first matching line in file order wins")
        << "Termination Reason: abort\nException Type: EXC_CRASH\n"
        << "Termination Reason: abort";
    QTest::newRow("words are case-sensitive") << "exception: lower case\nTERMINATION\nSignal: 11\n"
                                              << "Rapport système macOS";
    QTest::newRow("neither word") << "ProblemType: Crash\nSignal: 11\n"
                                  << "Rapport système macOS";
    QTest::newRow("empty report") << ""
                                  << "Rapport système macOS";
}

void TestSystemReportScan::message()
{
    QFETCH(QString, report);
    QFETCH(QString, message);
    QCOMPARE(SystemReportScan::messageOf(report), message);
}

void TestSystemReportScan::firstScanSendsEveryReportInNameOrder()
{
    writeReport(prefix + "1000.crash", "ProblemType: Crash\nSignal: 11\n", at(2, 10));
    writeReport(prefix + "1001.crash", "Exception Type: EXC_CRASH\n", at(4, 9));
    writeReport(prefix + "1002.ips", "Termination Reason: abort\n", at(3, 8));

    const QList<Sent> sent = scan();
    QCOMPARE(sent.size(), 3);
    QCOMPARE(sent[0].message, QStringLiteral("Rapport système macOS"));
    QCOMPARE(sent[0].stack, QStringLiteral("ProblemType: Crash\nSignal: 11\n"));
    QCOMPARE(sent[1].message, QStringLiteral("Exception Type: EXC_CRASH"));
    QCOMPARE(sent[2].message, QStringLiteral("Termination Reason: abort"));
    QCOMPARE(DefaultsStore::date(watermarkKey), std::optional(at(4, 9)));
}

void TestSystemReportScan::nextScanSendsOnlyNewerReports()
{
    writeReport(prefix + "1000.crash", "first\n", at(5, 12));
    QCOMPARE(scan().size(), 1);
    QCOMPARE(scan().size(), 0);
    QCOMPARE(DefaultsStore::date(watermarkKey), std::optional(at(5, 12)));

    writeReport(prefix + "1001.crash", "same date as the watermark\n", at(5, 12));
    writeReport(prefix + "1002.crash", "older\n", at(1, 12));
    writeReport(prefix + "1003.crash", "one second later\n", at(5, 12, 1));
    const QList<Sent> sent = scan();
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent[0].stack, QStringLiteral("one second later\n"));
    QCOMPARE(DefaultsStore::date(watermarkKey), std::optional(at(5, 12, 1)));
}

// The scan still happened, so the watermark is written, at the distant past it started from.
void TestSystemReportScan::foreignAndMisnamedFilesAreIgnored()
{
    writeReport("_usr_bin_other.1000.crash", "Exception: other\n", at(6, 1));
    writeReport(prefix + "1000.upload", "", at(6, 2));
    writeReport(prefix + "1000.crash.txt", "Exception: misnamed\n", at(6, 3));

    QCOMPARE(scan().size(), 0);
    const std::optional<QDateTime> watermark = DefaultsStore::date(watermarkKey);
    QVERIFY(watermark);
    QVERIFY(*watermark < at(1, 0));
}

void TestSystemReportScan::longReportIsCutToUserPerceivedCharacters()
{
    writeReport(prefix + "1000.crash", QByteArray(50000, 'x'), at(7, 1));
    // "é" written as e + combining acute: two UTF-16 units, one character to a reader.
    writeReport(prefix + "1001.crash", QByteArray("e\xcc\x81").repeated(20000), at(7, 2));

    const QList<Sent> sent = scan();
    QCOMPARE(sent.size(), 2);
    QCOMPARE(sent[0].stack, QString(18000, QLatin1Char('x')));
    QCOMPARE(sent[1].stack, QStringLiteral("e\u0301").repeated(18000));
}

// A report past the bound is still sent, from its first MiB: a line beyond it is never seen.
void TestSystemReportScan::oversizedReportIsReadOnlyUpToTheBound()
{
    QByteArray contents = "ProblemType: Crash\n" + QByteArray(2 * 1024 * 1024, 'y');
    contents += "\nException Type: beyond the bound\n";
    writeReport(prefix + "1000.crash", contents, at(8, 1));

    const QList<Sent> sent = scan();
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent[0].message, QStringLiteral("Rapport système macOS"));
    QCOMPARE(sent[0].stack.size(), 18000);
}

void TestSystemReportScan::missingFolderLeavesWatermarkUnwritten()
{
    bool called = false;
    SystemReportScan::run(m_folder->filePath("absent"), prefix,
                          [&called](const QString &, const QString &) { called = true; });
    QVERIFY(!called);
    QVERIFY(!DefaultsStore::value(watermarkKey).isValid());
}

// Through the reporter itself: the names come from this executable's path, and every report
// goes out as a "crash" upload.
void TestSystemReportScan::reportsTravelAsCrashUploads()
{
    ReportServer server;
    Endpoints::setOverrideForTests(Endpoints::Kind::Crash, server.url(QStringLiteral("/crash")));
    const QString ownName = QCoreApplication::applicationFilePath().replace('/', '_');
    writeReport(ownName + ".0.crash", "Exception Type: EXC_BAD_ACCESS\nThread 0\n", at(9, 1));
    writeReport("_usr_bin_veluna.0.crash", "not ours\n", at(9, 2));

    CrashReporter::sendSystemCrashReports(m_folder->path());
    QTRY_VERIFY(NetworkAccess::shared().findChildren<QNetworkReply *>().isEmpty());
    Endpoints::setOverrideForTests(Endpoints::Kind::Crash, {});
    QCOMPARE(server.requests().size(), 1);
    const QJsonObject body = server.requests().first().json();
    QCOMPARE(body.value("kind").toString(), QStringLiteral("crash"));
    QCOMPARE(body.value("message").toString(), QStringLiteral("Exception Type: EXC_BAD_ACCESS"));
    QCOMPARE(body.value("stack").toString(),
             QStringLiteral("Exception Type: EXC_BAD_ACCESS\nThread 0\n"));
    QCOMPARE(DefaultsStore::date(watermarkKey), std::optional(at(9, 1)));
}

QTEST_GUILESS_MAIN(TestSystemReportScan)
#include "tst_systemreportscan.moc"
