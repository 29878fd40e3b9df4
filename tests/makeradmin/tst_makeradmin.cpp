// SPDX-License-Identifier: MIT
#include "appcast.h"
#include "database.h"
#include "testfiles.h"
#include "updatefeed.h"

#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <optional>

namespace {
// A device's open conversation, opened by a hostile text.
const char seed[] = R"(
INSERT INTO conversations VALUES ('dev-b', 'open', 1796600500, 1796600500);
INSERT INTO messages (device, author, body, created_at) VALUES ('dev-b', 'user', char(27) ||
  ']0;pwned' || char(7) || 'title' || char(9) || 'and' || char(8238) || '\x1b', 1796600500);
)";

// The SHA-256 of a file holding "veluna\n", as sha256sum gives it.
const char velunaSha256[] = "3456dc7c1ca4ab1ae586a815d1b162001a4776bdd0cc461c4cf9a704063bee16";
} // namespace

// veluna-admin run for real on a seeded server database: what its listings show of hostile texts,
// and what each change leaves in the database for the server to act on; and the update feed the
// server makes of what it publishes, read by the app's own parser.
class TestMakerAdmin : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_folder.emplace();
        QVERIFY(TestFiles::write(path("server.conf"),
                                 "[General]\ndatabase=" + path("veluna.db").toUtf8()));
        QVERIFY(TestFiles::write(path("veluna.txt"), "veluna\n"));
        QString error;
        const std::optional<QSqlDatabase> db = Database::open(path("veluna.db"), &error);
        QVERIFY2(db, qPrintable(error));
        m_db = *db;
        QSqlQuery query(m_db);
        for (const QString &statement : QString::fromUtf8(seed).split(";\n", Qt::SkipEmptyParts))
            QVERIFY2(query.exec(statement), qPrintable(query.lastError().text()));
    }

    void cleanup()
    {
        m_db = QSqlDatabase();
        Database::close();
        m_folder.reset();
    }

    // No stored text reaches the maker's terminal as a control character. What the listings show
    // is meet_server's, through their --json forms.
    void listingsEscapeControlCharacters()
    {
        const Run run = admin({ "conversations" });
        QCOMPARE(run.err + QString::number(run.status), "0");
        const bool raw = std::ranges::any_of(run.out, [](QChar c) {
            return c != u'\n' && (c.category() == QChar::Other_Control || c.unicode() == 0x202e);
        });
        QVERIFY2(!raw && run.out.contains(R"(\x1b]0;pwned\x07title\tand\u202e\\x1b)"),
                 qPrintable(run.out));
    }

    // What each change leaves in the database for the server to act on. A refused release is not
    // stored; what publishing stores is read back through the feed in
    // publishedReleasesReachTheAppsParser, where a version published twice is refused.
    void changesReachTheDatabase()
    {
        // What the next sync of dev-b offers it.
        const QString offered = "SELECT body FROM messages WHERE device = 'dev-b' AND author = "
                                "'maker' AND delivered_at IS NULL ORDER BY id LIMIT 1";
        const QString hostile = "x'); DELETE FROM messages; --";
        const QString state = "SELECT state FROM conversations WHERE device = 'dev-b'";
        const QString releases = "SELECT COUNT(*) FROM releases";
        const QStringList ftpRelease { "publish",        "2.0.0",  "--url",
                                       "ftp://x.test/v", "--file", "veluna.txt" };
        for (const auto &[arguments, status, probe, expected] :
             { std::tuple { QStringList { "reply", "dev-b", hostile }, 0, offered, hostile },
               { { "close", "dev-b" }, 0, state, "closed" },
               { ftpRelease, 2, releases, "0" } }) {
            const Run run = admin(arguments);
            QVERIFY2(run.status == status && run.err.isEmpty() == (status == 0),
                     qPrintable(arguments.first() + ": " + run.err));
            QCOMPARE(value(probe), expected);
        }
    }

    void publishedReleasesReachTheAppsParser()
    {
        // Notes with characters XML must escape; the higher version published first; the second
        // 1.9.0 is refused.
        for (const auto &[version, status] :
             { std::pair { "1.10.0", 0 }, { "1.9.0", 0 }, { "1.9.0", 2 } })
            QCOMPARE(
                admin({ "publish", version, "--url", QString("https://plenox.app/v/") + version,
                        "--file", "veluna.txt", "--notes", "Faster & safer: 2 < 3 > 1" })
                    .status,
                status);
        const std::optional<QByteArray> xml = UpdateFeed::render(m_db);
        QVERIFY(xml);
        const std::optional<Appcast> feed = Appcast::parse(*xml);
        QVERIFY2(feed, xml->constData());
        QCOMPARE(feed->items().size(), 2);
        const Appcast::Item newest = *feed->newest();
        QCOMPARE(QStringList({ newest.version, newest.fileUrl.toString(),
                               QString::number(newest.fileLength), newest.fileSha256.toHex(),
                               newest.releaseNotes }),
                 QStringList({ "1.10.0", "https://plenox.app/v/1.10.0", "7", velunaSha256,
                               "Faster & safer: 2 < 3 > 1" }));
    }

private:
    struct Run
    {
        int status = -1;
        QString out, err;
    };

    Run admin(const QStringList &arguments) const
    {
        QProcess process;
        process.setWorkingDirectory(m_folder->path());
        process.start(VELUNA_ADMIN, QStringList { "--config", path("server.conf") } + arguments);
        process.closeWriteChannel();
        if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit)
            return {};
        return { process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                 QString::fromUtf8(process.readAllStandardError()) };
    }

    QString value(const QString &sql) const
    {
        QSqlQuery query(m_db);
        if (query.exec(sql) && query.next())
            return query.value(0).toString();
        return query.lastError().text();
    }

    QString path(const QString &name) const { return m_folder->filePath(name); }

    std::optional<QTemporaryDir> m_folder;
    QSqlDatabase m_db;
};

QTEST_GUILESS_MAIN(TestMakerAdmin)
#include "tst_makeradmin.moc"
