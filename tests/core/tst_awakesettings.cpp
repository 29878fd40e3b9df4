#include "awakesettings.h"
#include "defaultsstore.h"
#include "jsonsettingsformat.h"
#include "localisation.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {
const QString customKey = QStringLiteral("VLCustomMinutes");

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(cannot be read)");
}

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}
} // namespace

using namespace Qt::StringLiterals;

class TestAwakeSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() { DefaultsStore::clear(); }

    void mistypedEntriesReadAsAbsent()
    {
        DefaultsStore::setValue(customKey, true);
        DefaultsStore::setValue(QStringLiteral("VLStatusColor"), 42);
        DefaultsStore::setValue(QStringLiteral("VLKeepDisplay"), QStringLiteral("yes"));
        QCOMPARE(AwakeSettings::customMinutes(), 0);
        QCOMPARE(AwakeSettings::statusColorHex(), AwakeSettings::defaultStatusColorHex);
        QCOMPARE(AwakeSettings::keepDisplayAwake(), false);
        // An empty colour is a choice (no tint), not an absent value.
        AwakeSettings::setStatusColorHex(QString());
        QCOMPARE(AwakeSettings::statusColorHex(), QString());
    }

    void defaultMinutesCountsOnlyPresetsAndCurrentCustom()
    {
        // Stored, custom, read: a preset always counts, anything else only as the clamped custom.
        const int rows[][3]
            = { { 45, 45, 45 }, { 45, 50, 0 }, { 5999, 7000, 5999 }, { 240, 13, 240 } };
        for (const auto &[stored, custom, expected] : rows) {
            AwakeSettings::setDefaultMinutes(stored);
            DefaultsStore::setValue(customKey, custom);
            QCOMPARE(AwakeSettings::defaultMinutes(), expected);
        }
    }

    void customMinutesIsClampedOnReadAndWrite_data()
    {
        QTest::addColumn<qint64>("minutes");
        QTest::addColumn<int>("expected");
        QTest::newRow("maximum") << qint64(5999) << 5999;
        QTest::newRow("above the maximum") << qint64(6000) << 5999;
        QTest::newRow("negative") << qint64(-1) << 0;
        QTest::newRow("beyond int") << qint64(1) + std::numeric_limits<int>::max() << 5999;
    }
    void customMinutesIsClampedOnReadAndWrite()
    {
        QFETCH(qint64, minutes);
        QFETCH(int, expected);
        AwakeSettings::setCustomMinutes(minutes);
        QCOMPARE(DefaultsStore::integer(customKey), expected);
        DefaultsStore::setValue(customKey, minutes);
        QCOMPARE(AwakeSettings::customMinutes(), expected);
    }

    void formatMinutesPicksTheForm()
    {
        QCOMPARE(AwakeSettings::formatMinutes(59), L(u"awake.custom_minutes_short"_s, 59));
        QCOMPARE(AwakeSettings::formatMinutes(60), L(u"awake.custom_hours_short"_s, 1));
        QCOMPARE(AwakeSettings::formatMinutes(61), L(u"awake.custom_hours_minutes_short"_s, 1, 1));
    }

    void colourParsing()
    {
        for (const QString &text : { u"#22C55E"_s, u"22c55e"_s, u"\u00A0\t#22C55E\u2003"_s })
            QCOMPARE(AwakeSettings::colorFromHex(text).value_or(Qt::black).rgba(),
                     qRgba(0x22, 0xC5, 0x5E, 255));
        // Blank, ##, a line break, not hex, 6 characters in 7 units, full-width digits.
        for (const QString &text : { u" \t "_s, u"##22C55E"_s, u"#22C55E\n"_s, u"#22C55G"_s,
                                     u"22C55e\u0301"_s, u"\uFF12\uFF12C55E"_s })
            QVERIFY2(!AwakeSettings::colorFromHex(text), qPrintable(text));
        QVERIFY(AwakeSettings::colorFromHex(AwakeSettings::defaultStatusColorHex));
    }

    void storeKeepsTypesOnDisk()
    {
        const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7, 890), Qt::UTC);
        const QVariantList nested { QVariantMap { { "date", when }, { "id", qint64(-1) } } };
        DefaultsStore::setValue(QStringLiteral("VLMessageHistory"), nested);
        QFile file(DefaultsStore::filePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains(R"("$date": "2026-03-04T05:06:07.890Z")"));
        QSettings::SettingsMap onDisk;
        QVERIFY(file.seek(0) && JsonSettingsFormat::read(file, onDisk));
        QCOMPARE(onDisk.value("VLMessageHistory"), nested);
    }

    // A change replaces the file with a new one; the same value again leaves it alone. The file
    // stays open here, so its inode cannot be handed to a replacement.
    void storingAnUnchangedValueLeavesTheFileAlone()
    {
        const QString key = QStringLiteral("VLUpdaterInterval");
        DefaultsStore::setValue(key, qint64(3600));
        QFile first(DefaultsStore::filePath());
        QVERIFY(first.open(QIODevice::ReadOnly));
        const auto replaced = [&first] {
            struct stat held
            {
            }, current {};
            return ::fstat(first.handle(), &held) != 0
                || ::stat(QFile::encodeName(first.fileName()).constData(), &current) != 0
                || held.st_ino != current.st_ino;
        };
        DefaultsStore::setValue(key, 3600);
        DefaultsStore::setValue(key, qint64(3600));
        QVERIFY(!replaced());
        DefaultsStore::setValue(key, QStringLiteral("3600"));
        QVERIFY(replaced());
        QCOMPARE(DefaultsStore::string(key), QStringLiteral("3600"));
    }

    void unreadableFileIsKeptBeforeBeingReplaced_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<bool>("readable");
        const auto padded = [](qsizetype size) {
            QByteArray json = "{\"VLKeepDisplay\": true, \"filler\": \"\"}";
            return json.insert(json.size() - 2, QByteArray(size - json.size(), 'x'));
        };
        QTest::newRow("broken JSON") << QByteArray("{\"VLKeepDisplay\": true, oops") << false;
        QTest::newRow("not an object") << QByteArray("[true]") << false;
        QTest::newRow("4 MiB") << padded(4 * 1024 * 1024) << true;
        QTest::newRow("one byte over 4 MiB") << padded(4 * 1024 * 1024 + 1) << false;
    }
    void unreadableFileIsKeptBeforeBeingReplaced()
    {
        QFETCH(QByteArray, contents);
        QFETCH(bool, readable);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("veluna.json"));
        const QString kept = path + QStringLiteral(".unreadable");
        QVERIFY(writeFile(path, contents));
        {
            QSettings settings(path, JsonSettingsFormat::format());
            QCOMPARE(settings.value(QStringLiteral("VLKeepDisplay")).toBool(), readable);
            settings.clear();
            settings.setValue(customKey, 95);
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), readable ? 1 : 2);
        if (readable)
            return;
        QCOMPARE(readFile(kept), contents);
        // A later, different unreadable file never overwrites the copy kept earlier.
        QVERIFY(writeFile(path, "{oops"));
        QCOMPARE(QSettings(path, JsonSettingsFormat::format()).allKeys(), QStringList());
        QCOMPARE(readFile(kept), contents);
        QCOMPARE(readFile(kept + QStringLiteral("-2")), QByteArray("{oops"));
    }
};

QTEST_GUILESS_MAIN(TestAwakeSettings)
#include "tst_awakesettings.moc"
