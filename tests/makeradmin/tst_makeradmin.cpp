// SPDX-License-Identifier: MIT
#include "adminfixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <memory>

// veluna-admin run for real on a seeded server database: what each command shows, as text and
// as JSON, and what each change leaves in the database for the server to act on.
class TestMakerAdmin : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void listingsAsText_data();
    void listingsAsText();
    void listingsAsJson_data();
    void listingsAsJson();
    void changesReachTheDatabase_data();
    void changesReachTheDatabase();

private:
    std::unique_ptr<AdminFixture> m_fixture;
};

namespace {
// A member of a JSON document by a path such as "messages/0/email".
QJsonValue member(QJsonValue value, const QString &path)
{
    for (const QString &step : path.split(u'/')) {
        bool isIndex = false;
        const int index = step.toInt(&isIndex);
        value = isIndex ? value.toArray().at(index) : value.toObject().value(step);
    }
    return value;
}

QString lines(std::initializer_list<const char *> all)
{
    QString text;
    for (const char *line : all)
        text += QString::fromUtf8(line) + u'\n';
    return text;
}
} // namespace

void TestMakerAdmin::init()
{
    m_fixture = std::make_unique<AdminFixture>();
    QVERIFY(m_fixture->isReady());
    QVERIFY(m_fixture->seed());
}

void TestMakerAdmin::cleanup()
{
    m_fixture.reset();
}

void TestMakerAdmin::listingsAsText_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected");
    // Open conversations first, newest first; texts escaped, SQL shown as written.
    QTest::newRow("conversations")
        << QStringList { "conversations" }
        << lines({
               "DEVICE  STATE   LAST MESSAGE (UTC)  MESSAGES  FIRST LINE",
               "dev-b   open    2026-12-06 23:41           1  '; DROP TABLE messages; --",
               "dev-a   open    2026-12-06 23:36           2  Screen still sleeps",
               "dev-c   closed  2026-12-06 23:48           1  "
               "\\x1b]0;pwned\\x07title\\tand\\u202e\\\\x1b",
           });
    // Every body line indented under its heading, so no text passes for a heading.
    QTest::newRow("show") << QStringList { "show", "dev-a" }
                          << lines({ "Device   dev-a", "Version  1.0.0 on Debian 12",
                                     "State    open, opened 2026-12-06 23:35, updated 2026-12-06 "
                                     "23:36 (UTC)",
                                     "", "2026-12-06 23:35  #1  user  <a@example.org>",
                                     "    Screen still sleeps", "    after 30 min", "",
                                     "2026-12-06 23:36  #2  maker  (delivered 2026-12-06 23:38)",
                                     "    Which desktop?" });
    QTest::newRow("crashes") << QStringList { "crashes" }
                             << lines({ "ID  REPORTS  KIND   FIRST SEEN (UTC)  LAST SEEN (UTC)   "
                                        "VERSIONS              MESSAGE",
                                        " 1        3  crash  2026-12-06 23:33  2026-12-06 23:34  "
                                        "1.1.0 (2), 1.0.0 (1)  SIGSEGV in tick",
                                        " 2        1  error  2026-12-06 23:34  2026-12-06 23:34  "
                                        "1.1.0 (1)             bad \\x1b[2J" });
    QTest::newRow("crash") << QStringList { "crash", "2" }
                           << lines({ "Group      2", "Kind       error", "Message    bad \\x1b[2J",
                                      "Reports    1, first 2026-12-06 23:34, last 2026-12-06 "
                                      "23:34 (UTC)",
                                      "Versions   1.1.0 (1)", "", "Sample stack",
                                      "    #0 \\x1b[2J" });
    QTest::newRow("releases") << QStringList { "releases" }
                              << lines({ "VERSION  PUBLISHED (UTC)   BYTES  SHA-256                "
                                         "                                           URL",
                                         "1.1.0    2026-12-06 23:50     20  "
                                         "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb"
                                         "bbbbbbb  https://plenox.app/v/1.1.0",
                                         "1.0.0    2026-12-06 23:33     10  "
                                         "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
                                         "aaaaaaa  https://plenox.app/v/1.0.0" });
    // Seen an hour and a minute ago, three days ago, a month ago (left out).
    QTest::newRow("figures") << QStringList { "figures" }
                             << lines({ "VERSION  LAST DAY  LAST WEEK",
                                        "1.10.0          1          1",
                                        "1.1.0           0          1",
                                        "1.0.0           1          1", "",
                                        "2 in the last day, 3 in the last week" });
}

void TestMakerAdmin::listingsAsText()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    const AdminFixture::Run run = m_fixture->admin(arguments);
    QCOMPARE(run.err, QString());
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, expected);
}

void TestMakerAdmin::listingsAsJson_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QJsonValue>("expected");
    const qint64 t0 = AdminFixture::t0;
    const QStringList conversations { "conversations" };
    QTest::newRow("newest open first") << conversations << "0/device" << QJsonValue("dev-b");
    QTest::newRow("text as stored")
        << conversations << "2/first_line"
        << QJsonValue(QString::fromUtf8("\x1b]0;pwned\x07title\tand\u202e\\x1b"));
    QTest::newRow("message count") << conversations << "1/messages" << QJsonValue(2);
    QTest::newRow("time in seconds") << conversations << "0/last_message" << QJsonValue(t0 + 500);
    const QStringList show { "show", "dev-a" };
    QTest::newRow("delivered") << show << "messages/1/delivered_at" << QJsonValue(t0 + 300);
    QTest::newRow("undelivered") << show << "messages/0/delivered_at" << QJsonValue();
    QTest::newRow("email") << show << "messages/0/email" << QJsonValue("a@example.org");
    QTest::newRow("multi-line body")
        << show << "messages/0/body" << QJsonValue("Screen still sleeps\nafter 30 min");
    QTest::newRow("group versions")
        << QStringList { "crashes" } << "0/versions/0" << QJsonValue("1.1.0 (2)");
    QTest::newRow("group stack") << QStringList { "crash", "1" } << "sample_stack"
                                 << QJsonValue("#0 tick\n#1 main");
    QTest::newRow("newest release")
        << QStringList { "releases" } << "0/version" << QJsonValue("1.1.0");
    QTest::newRow("devices last week") << QStringList { "figures" } << "last_week" << QJsonValue(3);
    QTest::newRow("highest version first")
        << QStringList { "figures" } << "versions/0/version" << QJsonValue("1.10.0");
}

void TestMakerAdmin::listingsAsJson()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, path);
    QFETCH(QJsonValue, expected);
    const AdminFixture::Run run = m_fixture->admin(QStringList { "--json" } + arguments);
    QCOMPARE(run.status, 0);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(run.out.toUtf8(), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    const QJsonValue root
        = document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
    QCOMPARE(member(root, path), expected);
}

void TestMakerAdmin::changesReachTheDatabase_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("probe");
    QTest::addColumn<QVariant>("expected");
    // What the next sync of a device offers it.
    const QString offered = "SELECT body FROM messages WHERE device = 'dev-b' AND author = "
                            "'maker' AND delivered_at IS NULL ORDER BY id LIMIT 1";
    const QString state = "SELECT state FROM conversations WHERE device = 'dev-%1'";
    const QString messages = "SELECT COUNT(*) FROM messages";
    QTest::newRow("reply") << QStringList { "reply", "dev-b", "Try 1.1.0" } << QByteArray() << 0
                           << offered << QVariant("Try 1.1.0");
    QTest::newRow("reply from standard input")
        << QStringList { "reply", "dev-b", "-" } << QByteArray("First line\n\nSecond\n") << 0
        << offered << QVariant("First line\n\nSecond");
    QTest::newRow("reply with SQL in it")
        << QStringList { "reply", "dev-b", "x'); DELETE FROM messages; --" } << QByteArray() << 0
        << messages << QVariant(5);
    QTest::newRow("reply opens a device's first conversation")
        << QStringList { "reply", "dev-quiet", "Hello" } << QByteArray() << 0 << state.arg("quiet")
        << QVariant("open");
    QTest::newRow("reply leaves a closed conversation closed")
        << QStringList { "reply", "dev-c", "Fixed" } << QByteArray() << 0 << state.arg("c")
        << QVariant("closed");
    QTest::newRow("reply to an unknown device")
        << QStringList { "reply", "dev-z", "Hi" } << QByteArray() << 1 << messages << QVariant(4);
    QTest::newRow("empty reply") << QStringList { "reply", "dev-b", "-" } << QByteArray(" \n") << 2
                                 << messages << QVariant(4);
    QTest::newRow("close") << QStringList { "close", "dev-a" } << QByteArray() << 0
                           << state.arg("a") << QVariant("closed");
    QTest::newRow("reopen") << QStringList { "reopen", "dev-c" } << QByteArray() << 0
                            << state.arg("c") << QVariant("open");
    QTest::newRow("close an unknown conversation")
        << QStringList { "close", "dev-quiet" } << QByteArray() << 1
        << "SELECT COUNT(*) FROM conversations" << QVariant(3);
    // The digest and size of a file holding "veluna\n", as sha256sum and stat give them.
    const QString published
        = "SELECT length || ' ' || sha256 || ' ' || url || ' ' || notes FROM releases "
          "WHERE version = '2.0.0'";
    const QStringList publish { "publish", "2.0.0", "--url", "https://plenox.app/v/2.0.0",
                                "--notes", "Faster" };
    QTest::newRow("publish")
        << (publish + QStringList { "--file", "veluna.txt" }) << QByteArray() << 0 << published
        << QVariant("7 3456dc7c1ca4ab1ae586a815d1b162001a4776bdd0cc461c4cf9a704063bee16 "
                    "https://plenox.app/v/2.0.0 Faster");
    const QString releases = "SELECT COUNT(*) FROM releases";
    QTest::newRow("publish a version twice") << QStringList {
        "publish", "1.1.0", "--url", "https://plenox.app/v", "--file", "veluna.txt"
    } << QByteArray() << 2 << releases << QVariant(2);
    QTest::newRow("publish an ftp address")
        << QStringList { "publish", "2.0.0", "--url", "ftp://plenox.app/v", "--file", "veluna.txt" }
        << QByteArray() << 2 << releases << QVariant(2);
    QTest::newRow("publish a missing file") << (publish + QStringList { "--file", "missing.txt" })
                                            << QByteArray() << 1 << releases << QVariant(2);
    QTest::newRow("publish a version the app cannot read")
        << QStringList { "publish", "latest",    "--url", "https://plenox.app/v",
                         "--file",  "veluna.txt" }
        << QByteArray() << 2 << releases << QVariant(2);
    QTest::newRow("unknown command")
        << QStringList { "delete" } << QByteArray() << 2 << releases << QVariant(2);
    QTest::newRow("missing argument")
        << QStringList { "show" } << QByteArray() << 2 << releases << QVariant(2);
    QTest::newRow("crash group by name")
        << QStringList { "crash", "one" } << QByteArray() << 2 << releases << QVariant(2);
    QTest::newRow("unknown crash group")
        << QStringList { "crash", "9" } << QByteArray() << 1 << releases << QVariant(2);
    QTest::newRow("unknown conversation")
        << QStringList { "show", "dev-z" } << QByteArray() << 1 << releases << QVariant(2);
}

void TestMakerAdmin::changesReachTheDatabase()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(int, status);
    QFETCH(QString, probe);
    QFETCH(QVariant, expected);
    QFile file(m_fixture->path("veluna.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("veluna\n") == 7);
    file.close();
    for (QString &argument : arguments)
        if (argument.endsWith(QLatin1String(".txt")))
            argument = m_fixture->path(argument);
    const AdminFixture::Run run = m_fixture->admin(arguments, input);
    QCOMPARE(run.status, status);
    QCOMPARE(run.err.isEmpty(), status == 0);
    QCOMPARE(m_fixture->value(probe).toString(), expected.toString());
}

QTEST_GUILESS_MAIN(TestMakerAdmin)
#include "tst_makeradmin.moc"
