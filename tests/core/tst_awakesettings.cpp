// SPDX-License-Identifier: MIT
#include "awakesettings.h"
#include "defaultsstore.h"
#include "jsonsettingsformat.h"
#include "settingkeys.h"
#include "systemlog.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <future>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString customKey = SettingKeys::customMinutes.key();

// Whether the file held open is no longer the one at its path.
bool replaced(const QFile &held)
{
    struct stat open
    {
    }, current {};
    return ::fstat(held.handle(), &open) != 0
        || ::stat(QFile::encodeName(held.fileName()).constData(), &current) != 0
        || open.st_ino != current.st_ino;
}
} // namespace

using namespace Qt::StringLiterals;

class TestAwakeSettings : public QObject
{
    Q_OBJECT

    QStringList logged;

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        SystemLog::setObserver([this](const QString &line) { logged << line; });
    }
    void init()
    {
        DefaultsStore::clear();
        QDir().mkpath(QFileInfo(DefaultsStore::filePath()).path());
        logged.clear();
    }

    // A custom duration is clamped when written and when read; a mistyped entry reads as
    // absent.
    void valuesAreClampedAndTyped()
    {
        const std::pair<qint64, int> clamped[] { { 6000, 5999 },
                                                 { -1, 0 },
                                                 { qint64(1) << 31, 5999 } };
        for (const auto &[minutes, expected] : clamped) {
            AwakeSettings::setCustomMinutes(minutes);
            QCOMPARE(DefaultsStore::integer(customKey), expected);
            DefaultsStore::setValue(customKey, minutes);
            QCOMPARE(AwakeSettings::customMinutes(), expected);
        }
        // Stored, custom, read: a preset always counts, anything else only as the clamped custom.
        const int rows[][3] = { { 45, 50, 0 }, { 5999, 7000, 5999 }, { 240, 13, 240 } };
        for (const auto &[stored, custom, expected] : rows) {
            AwakeSettings::setDefaultMinutes(stored);
            DefaultsStore::setValue(customKey, custom);
            QCOMPARE(AwakeSettings::defaultMinutes(), expected);
        }
        DefaultsStore::setValue(customKey, true);
        DefaultsStore::setValue(SettingKeys::statusColor.key(), 42);
        QCOMPARE(AwakeSettings::customMinutes(), 0);
        QCOMPARE(AwakeSettings::statusColorHex(), AwakeSettings::defaultStatusColorHex);
    }

    // What a launch finds: anything unreadable starts from defaults and is kept byte for byte,
    // even when later unreadable files follow; a readable file keeps its other keys. A change
    // replaces the file with a new one.
    void fileFoundAtLaunch_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<bool>("kept");
        const auto padded = [](qsizetype size) {
            QByteArray json = "{\"VLKeepDisplay\": true, \"filler\": \"\"}";
            return json.insert(json.size() - 2, QByteArray(size - json.size(), 'x'));
        };
        QTest::newRow("truncated") << QByteArray("{\"VLKeepDisplay\": true, \"VLCus") << true;
        QTest::newRow("4 MiB") << padded(4 * 1024 * 1024) << false;
        QTest::newRow("one byte over 4 MiB") << padded(4 * 1024 * 1024 + 1) << true;
    }
    void fileFoundAtLaunch()
    {
        QFETCH(QByteArray, contents);
        QFETCH(bool, kept);
        const QString path = DefaultsStore::filePath();
        const QString copy = path + QStringLiteral(".unreadable");
        const auto cleanup = qScopeGuard([&copy] {
            QFile::remove(copy);
            QFile::remove(copy + QStringLiteral("-2"));
        });
        QVERIFY(TestFiles::write(path, contents));
        DefaultsStore::reload();
        QCOMPARE(AwakeSettings::keepDisplayAwake(), !kept); // every row asks for it
        QCOMPARE(AwakeSettings::customMinutes(), 0);
        QCOMPARE(QFile::exists(copy), kept);
        if (kept)
            QCOMPARE(TestFiles::read(copy), contents);

        DefaultsStore::remove(u"filler"_s); // leaves room for one more key in the 4 MiB file
        AwakeSettings::setCustomMinutes(95);
        const auto onDisk
            = JsonSettingsFormat::parse(TestFiles::read(path)).value_or(QVariantMap());
        QCOMPARE(onDisk.value(customKey), 95);
        QCOMPARE(onDisk.contains(SettingKeys::keepDisplay.key()), !kept);
        QFile held(path);
        QVERIFY(held.open(QIODevice::ReadOnly));
        AwakeSettings::setCustomMinutes(96);
        QVERIFY(replaced(held));

        if (!kept)
            return;
        QVERIFY(TestFiles::write(path, "{oops"));
        DefaultsStore::reload();
        QCOMPARE(TestFiles::read(copy), contents);
        QCOMPARE(TestFiles::read(copy + QStringLiteral("-2")), QByteArray("{oops"));
    }

    // The next launch reads whatever this one wrote: a change that would take the file past the
    // reader's bound is refused, and the file stays as it was.
    void changeThatWouldOutgrowTheReaderIsRefused()
    {
        AwakeSettings::setCustomMinutes(95);
        const QString huge(JsonSettingsFormat::maximumFileSize, u'x');
        DefaultsStore::setValue(SettingKeys::statusColor.key(), huge);
        QCOMPARE(AwakeSettings::statusColorHex(), AwakeSettings::defaultStatusColorHex);
        QCOMPARE(logged.filter(u"Veluna: réglages trop volumineux"_s).size(), 1);
        DefaultsStore::reload();
        QCOMPARE(AwakeSettings::customMinutes(), 95);
    }

    // When the settings path cannot take a new file, changes live on in memory, the log says so
    // once, the listener hears of it once, and the next change that can be saved writes them all.
    void unsavableChangesAreLoggedAndToldOnce()
    {
        const QString path = DefaultsStore::filePath();
        QStringList told;
        DefaultsStore::setSaveFailureListener([&told](const QString &at) { told << at; });
        const auto cleanup = qScopeGuard([&path] {
            QDir().rmdir(path);
            DefaultsStore::setSaveFailureListener({});
        });
        QFile::remove(path);
        QVERIFY(QDir().mkdir(path)); // a folder where the file goes
        AwakeSettings::setKeepDisplayAwake(true);
        AwakeSettings::setCustomMinutes(96);
        QCOMPARE(told, QStringList { path });
        QCOMPARE(DefaultsStore::saveFailurePath(), path);
        QCOMPARE(
            logged.filter(u"Veluna: impossible d'enregistrer les réglages dans "_s + path).size(),
            1);
        QCOMPARE(AwakeSettings::customMinutes(), 96);
        QStringList late;
        DefaultsStore::setSaveFailureListener([&late](const QString &at) { late << at; });
        QCOMPARE(late, QStringList { path });

        QVERIFY(QDir().rmdir(path));
        AwakeSettings::setStatusColorHex(u"#22C55E"_s);
        QCOMPARE(DefaultsStore::saveFailurePath(), QString());
        const auto onDisk
            = JsonSettingsFormat::parse(TestFiles::read(path)).value_or(QVariantMap());
        QCOMPARE(onDisk.value(customKey), 96);
        QCOMPARE(onDisk.value(SettingKeys::keepDisplay.key()), true);
    }

    // A link is followed to settings of ours; any other target is left as it is, and our file
    // takes the link's place. A FIFO, at the path or behind a link, would block a launch's
    // open() for good. %1 in the log line is the path, %2 the link's target.
    void whatIsAtThePath_data()
    {
        QTest::addColumn<bool>("linked");
        QTest::addColumn<QByteArray>("target"); // empty: a FIFO
        QTest::addColumn<int>("read");
        QTest::addColumn<QString>("log"); // none: the link is followed
        const QString foreign = u"%1 est un lien vers %2"_s;
        QTest::newRow("a FIFO") << false << QByteArray() << 0
                                << u"réglages illisibles, %1 n'est pas un fichier ordinaire"_s;
        QTest::newRow("a link to a FIFO") << true << QByteArray() << 0 << foreign;
        QTest::newRow("a link to our settings")
            << true << QByteArray(R"({"VLCustomMinutes": 30})") << 30 << QString();
        QTest::newRow("a link to another program's settings")
            << true << QByteArray(R"({"theme": 30})") << 0 << foreign;
    }
    void whatIsAtThePath()
    {
        QFETCH(bool, linked);
        QFETCH(QByteArray, target);
        QFETCH(int, read);
        QFETCH(QString, log);
        const QString path = DefaultsStore::filePath();
        QTemporaryDir elsewhere;
        const QString other = elsewhere.filePath(u"veluna.json"_s);
        const QString file = linked ? other : path;
        QFile::remove(path);
        const auto cleanup = qScopeGuard([&path] { QFile::remove(path); });
        QVERIFY(target.isEmpty() ? ::mkfifo(QFile::encodeName(file).constData(), 0600) == 0
                                 : TestFiles::write(file, target));
        QVERIFY(!linked || QFile::link(other, path));
        auto launch = std::async(std::launch::async, [] {
            DefaultsStore::reload();
            return AwakeSettings::customMinutes();
        });
        if (launch.wait_for(std::chrono::seconds(5)) == std::future_status::timeout) {
            // Let the stuck open() return so that the test can end.
            const int writer = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_NONBLOCK);
            launch.wait();
            ::close(writer);
            QFAIL("reading the settings blocked on a FIFO");
        }
        QCOMPARE(launch.get(), read);
        QCOMPARE(logged.size(), log.isEmpty() ? 0 : 1);
        QVERIFY2(logged.filter(log.arg(path, other)).size() == logged.size(), qPrintable(log));

        AwakeSettings::setCustomMinutes(95);
        QCOMPARE(QFileInfo(path).isSymLink(), log.isEmpty());
        QVERIFY(QFileInfo(path).isFile());
        QCOMPARE(JsonSettingsFormat::parse(TestFiles::read(path))
                     .value_or(QVariantMap())
                     .value(customKey),
                 95);
        if (!target.isEmpty() && !log.isEmpty())
            QCOMPARE(TestFiles::read(other), target);
    }
};

QTEST_GUILESS_MAIN(TestAwakeSettings)
#include "tst_awakesettings.moc"
