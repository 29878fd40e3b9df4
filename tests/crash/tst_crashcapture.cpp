// SPDX-License-Identifier: MIT
// Real crashes of a child process that installed the crash reporter: the record it leaves, the
// way it ends, and the upload of that record at its next launch.

#include "localhttpserver.h"

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
    void init() { QVERIFY(QDir(m_home.path() + "/.local").removeRecursively()); }
    void crashLeavesOneRecord_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<int>("frames"); // 0: any number up to the limit
        QTest::newRow("segv-no-malloc") << SIGSEGV << QByteArray("Signal 11") << 0;
        // On the alternate stack, with the stack cut to its limit.
        QTest::newRow("overflow") << SIGSEGV << QByteArray("Signal 11") << 30;
        // The abort() that ends an uncaught exception must not replace its record with "Signal 6".
        QTest::newRow("throw") << SIGABRT << QByteArray("Exception: std::runtime_error : boom")
                               << 0;
    }
    void crashLeavesOneRecord()
    {
        QFETCH(int, signalNumber);
        QFETCH(QByteArray, message);
        QFETCH(int, frames);

        const QProcess *process = run(QString::fromLatin1(QTest::currentDataTag()));
        QCOMPARE(process->exitStatus(), QProcess::CrashExit);
        QCOMPARE(process->exitCode(), signalNumber);

        const QByteArray text = record();
        QVERIFY2(text.startsWith(message + "\n---\n"), text.left(200).constData());
        const QList<QByteArray> lines = text.mid(message.size() + 5).split('\n');
        QVERIFY2(!lines.contains(QByteArray()) && lines.size() <= 30, text.constData());
        if (frames)
            QCOMPARE(lines.size(), frames);
        // Only the record: the temporary file was renamed over it.
        QCOMPARE(QDir(dataFolder()).entryList(QDir::Files), QStringList { "pending-crash.txt" });
    }
    void nextLaunchUploadsRecordOnce()
    {
        QCOMPARE(run(QStringLiteral("segv-no-malloc"))->exitCode(), SIGSEGV);
        const QByteArray text = record();
        LocalHttpServer server;
        server.setResponse("/crash", LocalHttpServer::Response::ok("{}", "application/json"));

        for (int launch = 0; launch < 2; ++launch) {
            QCOMPARE(run(QStringLiteral("launch"), server.url("/crash"))->exitCode(), 0);
            QVERIFY(record().isEmpty());
        }
        QCOMPARE(server.requests().size(), 1);
        const LocalHttpServer::Request &upload = server.requests().first();
        QCOMPARE(upload.method + ' ' + upload.path(), QByteArray("POST /crash"));
        QCOMPARE(upload.headers.value("content-type"), QByteArray("application/json"));
        // The device id is read, never created, for a report.
        const QJsonObject body = QJsonDocument::fromJson(upload.body).object();
        QCOMPARE(body.value("d").toString() + ' ' + body.value("message").toString(),
                 QStringLiteral("? Signal 11"));
        QCOMPARE(body.value("stack").toString().toUtf8(), text.mid(text.indexOf("---\n") + 4));
    }

private:
    // Runs the helper to its end, with the event loop running for a server in this process.
    QProcess *run(const QString &how, const QUrl &crashUrl = {})
    {
        auto *process = new QProcess(this);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), m_home.path());
        environment.remove(QStringLiteral("XDG_DATA_HOME"));
        environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
        environment.insert(QStringLiteral("VELUNA_TEST_CRASH_URL"), crashUrl.toString());
        process->setProcessEnvironment(environment);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // No core files from the crashes we cause on purpose.
        process->setChildProcessModifier([] {
            const rlimit none { 0, 0 };
            ::setrlimit(RLIMIT_CORE, &none);
        });
        QSignalSpy finished(process, &QProcess::finished);
        process->start(QStringLiteral(VELUNA_CRASH_HELPER), { how });
        if (!finished.wait(15000))
            process->kill();
        return process;
    }
    QString dataFolder() const { return m_home.path() + QStringLiteral("/.local/share/Veluna"); }
    QByteArray record() const
    {
        QFile file(dataFolder() + QStringLiteral("/pending-crash.txt"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_home;
};

QTEST_GUILESS_MAIN(TestCrashCapture)
#include "tst_crashcapture.moc"
