#include "autostartloginitem.h"
#include "desktopentry.h"
#include "systemlog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using Status = LoginItem::Status;
Q_DECLARE_METATYPE(LoginItem::Status)

namespace {
QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

QByteArray execLine(const QByteArray &text)
{
    for (const QByteArray &line : text.split('\n')) {
        if (line.startsWith("Exec="))
            return line.mid(5);
    }
    return {};
}

// How a desktop reads a one-argument Exec value back into the program's path: the quoting
// rules of the Desktop Entry format, written out independently of the writer.
QString programFromExec(const QString &exec)
{
    QString unquoted = exec;
    if (exec.startsWith(u'"') && exec.endsWith(u'"')) {
        unquoted.clear();
        for (qsizetype i = 1; i < exec.size() - 1; ++i) {
            if (exec[i] == u'\\')
                ++i;
            unquoted += exec[i];
        }
    }
    return unquoted.replace(QStringLiteral("%%"), QStringLiteral("%"));
}
} // namespace

class TestLoginItem : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void enablingWritesALauncherForThisProgram_data();
    void enablingWritesALauncherForThisProgram();
    void statusIsReadAfreshFromDisk_data();
    void statusIsReadAfreshFromDisk();
    void folderThatCannotBeMadeIsReportedAndLogged();
    void entryThatCannotBeRemovedIsReported();
    void configFolderFollowsXdgRules();
    void parserTakesWhatDesktopsTake_data();
    void parserTakesWhatDesktopsTake();

private:
    std::unique_ptr<QTemporaryDir> home;
    QStringList logged;
};

void TestLoginItem::init()
{
    home = std::make_unique<QTemporaryDir>();
    QVERIFY(home->isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home->filePath(QStringLiteral("config"))));
    logged.clear();
    SystemLog::setObserver([this](const QString &line) { logged << line; });
}

void TestLoginItem::cleanup()
{
    SystemLog::setObserver({});
}

void TestLoginItem::enablingWritesALauncherForThisProgram_data()
{
    QTest::addColumn<QString>("program"); // empty: this very program
    QTest::addColumn<QByteArray>("line");
    const auto row = [](const char *name, const char *program, const char *line) {
        QTest::newRow(name) << QString::fromUtf8(program) << QByteArray(line);
    };
    row("this program", "", "");
    row("plain", "/usr/bin/veluna", "/usr/bin/veluna");
    row("spaces", "/home/ann/My Apps/Veluna Beta/veluna",
        "\"/home/ann/My Apps/Veluna Beta/veluna\"");
    row("percent", "/opt/100%/veluna", "/opt/100%%/veluna");
    // A literal $ inside quotes is \$ for the Exec rules, then the backslash is doubled.
    row("dollar", "/opt/a$b/veluna", "\"/opt/a\\\\$b/veluna\"");
    row("backslash", "/opt/a\\b/veluna", "\"/opt/a\\\\\\\\b/veluna\"");
    row("double quote", "/opt/say \"hi\"/veluna", "\"/opt/say \\\\\"hi\\\\\"/veluna\"");
    row("utf-8", "/opt/été/veluna", "/opt/été/veluna");
}

void TestLoginItem::enablingWritesALauncherForThisProgram()
{
    QFETCH(QString, program);
    QFETCH(QByteArray, line);
    AutostartLoginItem item(program.isEmpty() ? QCoreApplication::applicationFilePath() : program);
    QCOMPARE(item.status(), Status::NotRegistered);
    QString error;
    QVERIFY2(item.registerItem(&error), qPrintable(error));
    const QString path
        = home->filePath(QStringLiteral("config/autostart/app.plenox.Veluna.desktop"));
    QCOMPARE(AutostartLoginItem::entryPath(), path);
    QCOMPARE(item.status(), Status::Enabled);
    QVERIFY(logged.isEmpty());

    const QByteArray text = readAll(path);
    const auto entry = DesktopEntry::parse(text);
    QVERIFY(entry);
    QCOMPARE(entry->value(QStringLiteral("Type")), QStringLiteral("Application"));
    QCOMPARE(entry->value(QStringLiteral("Name")), QStringLiteral("Veluna"));
    QCOMPARE(entry->value(QStringLiteral("Icon")), QStringLiteral("app.plenox.Veluna"));
    QCOMPARE(entry->boolean(QStringLiteral("Hidden")), false);
    QCOMPARE(entry->boolean(QStringLiteral("Terminal")), false);
    QCOMPARE(entry->boolean(QStringLiteral("X-GNOME-Autostart-enabled")), true);
    // What a desktop runs is the program itself, whatever its path holds.
    if (!line.isEmpty())
        QCOMPARE(execLine(text), line);
    QCOMPARE(programFromExec(entry->value(QStringLiteral("Exec"))),
             program.isEmpty() ? QCoreApplication::applicationFilePath() : program);
}

void TestLoginItem::statusIsReadAfreshFromDisk_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<Status>("status");
    const QByteArray head = "# written by hand\n[Desktop Entry]\nType=Application\nExec=veluna\n";
    QTest::newRow("plain entry") << head << Status::Enabled;
    QTest::newRow("Hidden=true") << head + "Hidden=true\n" << Status::Disabled;
    QTest::newRow("autostart off") << head + "X-GNOME-Autostart-enabled=false\n"
                                   << Status::Disabled;
    QTest::newRow("both on") << head + "Hidden=false\nX-GNOME-Autostart-enabled=true\n"
                             << Status::Enabled;
    QTest::newRow("no Exec") << QByteArray("[Desktop Entry]\nType=Application\n")
                             << Status::Invalid;
    QTest::newRow("a link, not an app")
        << QByteArray("[Desktop Entry]\nType=Link\nURL=https://example.org\n") << Status::Invalid;
    QTest::newRow("not a desktop entry") << QByteArray("\x7f"
                                                       "ELF\x02\x01")
                                         << Status::Invalid;
    QTest::newRow("huge") << head + QByteArray(100 * 1024, '#') << Status::Invalid;
}

// The status is read from the file each time; enabling again rewrites whatever is there, and
// disabling removes it.
void TestLoginItem::statusIsReadAfreshFromDisk()
{
    QFETCH(QByteArray, text);
    QFETCH(Status, status);
    AutostartLoginItem item;
    QVERIFY(item.registerItem(nullptr));
    QCOMPARE(item.status(), Status::Enabled);
    writeFile(AutostartLoginItem::entryPath(), text);
    QCOMPARE(item.status(), status);
    QCOMPARE(item.isEnabled(), status == Status::Enabled);

    QVERIFY(item.apply(true));
    QCOMPARE(item.status(), Status::Enabled);
    const auto entry = DesktopEntry::parse(readAll(AutostartLoginItem::entryPath()));
    QCOMPARE(programFromExec(entry->value(QStringLiteral("Exec"))),
             QCoreApplication::applicationFilePath());
    QVERIFY(!item.apply(false));
    QVERIFY(!QFile::exists(AutostartLoginItem::entryPath()));
    QCOMPARE(item.status(), Status::NotRegistered);
    // Nothing to remove is no failure.
    QString error;
    QVERIFY(item.unregisterItem(&error));
    QVERIFY(error.isEmpty());
    QVERIFY(logged.isEmpty());
}

// Permissions do not stop root, so the folder is made impossible: a file holds its name.
void TestLoginItem::folderThatCannotBeMadeIsReportedAndLogged()
{
    QVERIFY(QDir().mkpath(home->filePath(QStringLiteral("config"))));
    writeFile(AutostartLoginItem::autostartFolder(), "not a folder");
    AutostartLoginItem item;
    QString error;
    QVERIFY(!item.registerItem(&error));
    QVERIFY2(error.contains(AutostartLoginItem::autostartFolder()), qPrintable(error));
    QVERIFY2(error.contains(QStringLiteral("not a folder")), qPrintable(error));
    QVERIFY(logged.isEmpty());

    QCOMPARE(item.apply(true), false);
    QCOMPARE(logged, QStringList { QStringLiteral("Veluna: ouverture à la connexion: ") + error });
    QCOMPARE(item.status(), Status::NotRegistered);
}

void TestLoginItem::entryThatCannotBeRemovedIsReported()
{
    QVERIFY(QDir().mkpath(AutostartLoginItem::entryPath() + QStringLiteral("/inside")));
    AutostartLoginItem item;
    QCOMPARE(item.status(), Status::Invalid);
    QCOMPARE(item.apply(false), false);
    QCOMPARE(logged.size(), 1);
    QVERIFY2(logged.first().startsWith(QStringLiteral("Veluna: ouverture à la connexion: ")
                                       + AutostartLoginItem::entryPath()),
             qPrintable(logged.first()));
    QVERIFY(QFileInfo(AutostartLoginItem::entryPath() + QStringLiteral("/inside")).isDir());
}

void TestLoginItem::configFolderFollowsXdgRules()
{
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home->path()));
    const QString fallback = home->filePath(QStringLiteral(".config/autostart"));
    qputenv("XDG_CONFIG_HOME", "relative/config");
    QCOMPARE(AutostartLoginItem::autostartFolder(), fallback);
    qunsetenv("XDG_CONFIG_HOME");
    QCOMPARE(AutostartLoginItem::autostartFolder(), fallback);
    qputenv("XDG_CONFIG_HOME", "/somewhere/else/");
    QCOMPARE(AutostartLoginItem::autostartFolder(), QStringLiteral("/somewhere/else/autostart"));
    qputenv("HOME", savedHome);
}

void TestLoginItem::parserTakesWhatDesktopsTake_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("exec");
    QTest::newRow("comments, blanks, spaces around =")
        << QByteArray("# c\n\n[Desktop Entry]\n  Exec = a\\sb\\\\c \nName[fr]=x\n") << true
        << QStringLiteral("a b\\c");
    QTest::newRow("action groups are not ours")
        << QByteArray("[Desktop Entry]\nExec=main\n[Desktop Action x]\nExec=other\n") << true
        << QStringLiteral("main");
    QTest::newRow("another group first")
        << QByteArray("[Desktop Action x]\nExec=x\n[Desktop Entry]\nExec=y\n") << false
        << QString();
    QTest::newRow("key before any group")
        << QByteArray("Exec=x\n[Desktop Entry]\n") << false << QString();
    QTest::newRow("line without =") << QByteArray("[Desktop Entry]\nExec\n") << false << QString();
    QTest::newRow("empty") << QByteArray() << false << QString();
}

void TestLoginItem::parserTakesWhatDesktopsTake()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    QFETCH(QString, exec);
    const auto entry = DesktopEntry::parse(text);
    QCOMPARE(entry.has_value(), valid);
    if (entry)
        QCOMPARE(entry->value(QStringLiteral("Exec")), exec);
}

QTEST_GUILESS_MAIN(TestLoginItem)
#include "tst_loginitem.moc"
