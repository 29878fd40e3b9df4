// SPDX-License-Identifier: MIT
#include "autostartloginitem.h"
#include "desktopentry.h"
#include "systemlog.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using Status = LoginItem::Status;

const QString logPrefix = QStringLiteral("Veluna: ouverture à la connexion: ");

class TestLoginItem : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> home;
    QStringList logged;

private slots:
    void init()
    {
        home = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home->filePath(QStringLiteral("config"))));
        logged.clear();
        SystemLog::setObserver([this](const QString &line) { logged << line; });
    }

    // The Exec line as read back: the program alone, quoted and escaped by the Desktop Entry rules.
    // Disabling removes the entry.
    void enablingWritesAnEntryThatRunsThisProgram()
    {
        AutostartLoginItem item(QStringLiteral("/home/ann/My Apps/100%/a$b\\c \"hi\"/veluna"));
        QString error;
        QVERIFY2(item.registerItem(&error), qPrintable(error));
        QCOMPARE(item.status(), Status::Enabled);
        const auto entry = DesktopEntry::parse(TestFiles::read(AutostartLoginItem::entryPath()));
        QVERIFY(entry);
        QCOMPARE(entry->value(QStringLiteral("Exec")),
                 QStringLiteral("\"/home/ann/My Apps/100%%/a\\$b\\\\c \\\"hi\\\"/veluna\""));
        QCOMPARE(AutostartLoginItem::entryPath(),
                 home->filePath(QStringLiteral("config/autostart/app.plenox.Veluna.desktop")));
        QVERIFY(!AutostartLoginItem().apply(false)); // disabling removes it again
        QCOMPARE(item.status(), Status::NotRegistered);
        QVERIFY(logged.isEmpty());
    }

    // Permissions do not stop root: a file holds the folder's name.
    void failuresAreReportedAndLogged()
    {
        QVERIFY(QDir().mkpath(home->filePath(QStringLiteral("config"))));
        QVERIFY(TestFiles::write(AutostartLoginItem::autostartFolder(), "not a folder"));
        AutostartLoginItem item;
        QString error;
        QVERIFY(!item.registerItem(&error));
        QVERIFY2(error.contains(AutostartLoginItem::autostartFolder()), qPrintable(error));
        QVERIFY(!item.apply(true));
        QCOMPARE(logged, QStringList { logPrefix + error });
    }
};

QTEST_GUILESS_MAIN(TestLoginItem)
#include "tst_loginitem.moc"
