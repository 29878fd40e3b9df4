// The upload of crash and error reports: what a report carries, how the previous run's record
// is split and deleted, and when nothing is sent.

#include "crashreporter.h"
#include "defaultsstore.h"
#include "endpoints.h"
#include "networkaccess.h"
#include "reportserver.h"
#include "requestidentity.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkReply>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>

#include <thread>

class TestCrashUpload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void pendingRecordIsSplitSentAndDeleted_data();
    void pendingRecordIsSplitSentAndDeleted();
    void noRecordSendsNothing();
    void recordIsDeletedEvenWhenItCannotBeSent();
    void deviceIdIsReadNeverCreated_data();
    void deviceIdIsReadNeverCreated();
    void reportErrorSendsCallerStackAndWritesNothing();
    void reportErrorFromAnotherThreadIsSent();
    void silentServerIsGivenUpAfterTheTimeout();
    void redirectsAreNotFollowed();

private:
    void writeRecord(const QByteArray &contents);
    // Every reply is freed when it ends, so none left means every upload has been answered.
    void waitForUploads();

    ReportServer m_server;
};

void TestCrashUpload::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setApplicationName(QStringLiteral("Veluna"));
    QVERIFY(m_server.isListening());
}

void TestCrashUpload::init()
{
    DefaultsStore::clear();
    QFile::remove(CrashReporter::pendingCrashPath());
    Endpoints::setOverrideForTests(Endpoints::Kind::Crash, m_server.url(QStringLiteral("/crash")));
    m_server.clear();
}

void TestCrashUpload::cleanup()
{
    Endpoints::setOverrideForTests(Endpoints::Kind::Crash, {});
}

void TestCrashUpload::writeRecord(const QByteArray &contents)
{
    QFile file(CrashReporter::pendingCrashPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(contents), contents.size());
}

void TestCrashUpload::waitForUploads()
{
    QTRY_VERIFY(NetworkAccess::shared().findChildren<QNetworkReply *>().isEmpty());
}

void TestCrashUpload::pendingRecordIsSplitSentAndDeleted_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("stack");
    QTest::newRow("message and two frames") << QByteArray("M\n---\nF1\nF2") << "M"
                                            << "F1\nF2";
    QTest::newRow("no separator") << QByteArray("just text\nover two lines")
                                  << "just text\nover two lines"
                                  << "";
    QTest::newRow("two separators") << QByteArray("M\n---\nS1\nS2\n---\nrest\n---\nmore") << "M"
                                    << "S1\nS2";
    QTest::newRow("empty stack") << QByteArray("Signal 11\n---\n") << "Signal 11"
                                 << "";
    QTest::newRow("empty message") << QByteArray("\n---\nF") << ""
                                   << "F";
    QTest::newRow("invalid UTF-8 is replaced, not dropped")
        << QByteArray("Exception: E : caf\xe9\n---\nF") << "Exception: E : caf\uFFFD"
        << "F";
    QTest::newRow("UTF-8") << QByteArray("Exception: E : d\xc3\xa9j\xc3\xa0\n---\nF")
                           << "Exception: E : d\u00e9j\u00e0"
                           << "F";
}

void TestCrashUpload::pendingRecordIsSplitSentAndDeleted()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, message);
    QFETCH(QString, stack);
    writeRecord(contents);

    CrashReporter::sendPendingCrash();
    QVERIFY(!QFile::exists(CrashReporter::pendingCrashPath()));
    waitForUploads();
    QCOMPARE(m_server.requests().size(), 1);
    const ReportServer::Request &upload = m_server.requests().first();
    QCOMPARE(upload.method, QByteArray("POST"));
    QCOMPARE(upload.headers.value("content-type"), QByteArray("application/json"));
    const QJsonObject body = upload.json();
    QCOMPARE(body.keys(), (QStringList { "d", "kind", "message", "os", "stack", "v" }));
    for (const QJsonValue &value : body)
        QVERIFY(value.isString());
    QCOMPARE(body.value("kind").toString(), QStringLiteral("crash"));
    QCOMPARE(body.value("message").toString(), message);
    QCOMPARE(body.value("stack").toString(), stack);
    QCOMPARE(body.value("v").toString(), QStringLiteral(VELUNA_PROJECT_VERSION));
    QCOMPARE(body.value("os").toString(), RequestIdentity::systemText());
}

void TestCrashUpload::noRecordSendsNothing()
{
    CrashReporter::sendPendingCrash();
    waitForUploads();
    QCOMPARE(m_server.requests().size(), 0);
}

// The record goes before the upload is even tried, so it is never sent twice.
void TestCrashUpload::recordIsDeletedEvenWhenItCannotBeSent()
{
    writeRecord("Signal 6\n---\nF");
    Endpoints::setOverrideForTests(Endpoints::Kind::Crash,
                                   QUrl("http://reports.example.org/crash"));

    CrashReporter::sendPendingCrash();
    QVERIFY(!QFile::exists(CrashReporter::pendingCrashPath()));
    // A clear-text address off this machine is refused: no request at all.
    QVERIFY(NetworkAccess::shared().findChildren<QNetworkReply *>().isEmpty());
}

void TestCrashUpload::deviceIdIsReadNeverCreated_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("sent");
    QTest::newRow("absent") << QVariant() << "?";
    QTest::newRow("stored") << QVariant("0A1B2C3D-0000-4000-8000-123456789ABC")
                            << "0A1B2C3D-0000-4000-8000-123456789ABC";
    QTest::newRow("stored empty") << QVariant(QString("")) << "";
    QTest::newRow("not a string") << QVariant(42) << "?";
}

void TestCrashUpload::deviceIdIsReadNeverCreated()
{
    QFETCH(QVariant, stored);
    QFETCH(QString, sent);
    if (stored.isValid())
        DefaultsStore::setValue(QStringLiteral("VLDeviceId"), stored);

    CrashReporter::send(QStringLiteral("crash"), QStringLiteral("m"), QStringLiteral("s"));
    waitForUploads();
    QCOMPARE(m_server.requests().size(), 1);
    QCOMPARE(m_server.requests().first().json().value("d").toString(), sent);
    QCOMPARE(DefaultsStore::value(QStringLiteral("VLDeviceId")), stored);
}

void TestCrashUpload::reportErrorSendsCallerStackAndWritesNothing()
{
    CrashReporter::reportError(QStringLiteral("could not save"));
    waitForUploads();
    QCOMPARE(m_server.requests().size(), 1);
    const QJsonObject body = m_server.requests().first().json();
    QCOMPARE(body.value("kind").toString(), QStringLiteral("error"));
    QCOMPARE(body.value("message").toString(), QStringLiteral("could not save"));
    const QStringList frames = body.value("stack").toString().split(QLatin1Char('\n'));
    QVERIFY2(frames.size() >= 2 && frames.size() <= 15, qPrintable(body.value("stack").toString()));
    QVERIFY(frames.filter(QStringLiteral("tst_crashupload")).size() >= 1);
    QVERIFY(!QFile::exists(CrashReporter::pendingCrashPath()));
}

void TestCrashUpload::reportErrorFromAnotherThreadIsSent()
{
    std::thread worker([] { CrashReporter::reportError(QStringLiteral("from a worker")); });
    worker.join();
    QTRY_COMPARE(m_server.requests().size(), 1);
    const QJsonObject body = m_server.requests().first().json();
    QCOMPARE(body.value("kind").toString(), QStringLiteral("error"));
    QCOMPARE(body.value("message").toString(), QStringLiteral("from a worker"));
}

// Nobody waits for an upload, but a server that never answers must not keep it (and its
// connection) alive for the rest of the run.
void TestCrashUpload::silentServerIsGivenUpAfterTheTimeout()
{
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    Endpoints::setOverrideForTests(
        Endpoints::Kind::Crash,
        QUrl(QStringLiteral("http://127.0.0.1:%1/crash").arg(silent.serverPort())));
    QElapsedTimer elapsed;
    elapsed.start();

    CrashReporter::send(QStringLiteral("crash"), QStringLiteral("m"), QStringLiteral("s"));
    QCOMPARE(NetworkAccess::shared().findChildren<QNetworkReply *>().size(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(NetworkAccess::shared().findChildren<QNetworkReply *>().isEmpty(),
                             15000);
    QVERIFY2(elapsed.elapsed() >= 7500, qPrintable(QString::number(elapsed.elapsed())));
}

void TestCrashUpload::redirectsAreNotFollowed()
{
    ReportServer elsewhere;
    m_server.setAnswer("307 Temporary Redirect\r\nLocation: "
                       + elsewhere.url(QStringLiteral("/crash")).toEncoded());

    CrashReporter::send(QStringLiteral("crash"), QStringLiteral("m"), QStringLiteral("s"));
    waitForUploads();
    m_server.setAnswer("200 OK");
    QCOMPARE(m_server.requests().size(), 1);
    QCOMPARE(elsewhere.requests().size(), 0);
}

QTEST_GUILESS_MAIN(TestCrashUpload)
#include "tst_crashupload.moc"
