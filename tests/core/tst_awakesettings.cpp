#include "awakesettings.h"
#include "defaultsstore.h"
#include "jsonsettingsformat.h"
#include "localisation.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString defaultKey = QStringLiteral("VLDefaultMinutes");
const QString customKey = QStringLiteral("VLCustomMinutes");

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(cannot be read)");
}
} // namespace

class TestAwakeSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() { DefaultsStore::clear(); }

    void absentOrMistypedEntriesReadAsDefaults_data()
    {
        QTest::addColumn<bool>("mistyped");
        QTest::newRow("fresh installation") << false;
        QTest::newRow("mistyped entries") << true;
    }
    void absentOrMistypedEntriesReadAsDefaults()
    {
        QFETCH(bool, mistyped);
        if (mistyped) {
            DefaultsStore::setValue(defaultKey, QStringLiteral("240"));
            DefaultsStore::setValue(customKey, true);
            DefaultsStore::setValue(QStringLiteral("VLStatusColor"), 42);
            DefaultsStore::setValue(QStringLiteral("VLKeepDisplay"), QStringLiteral("yes"));
        }
        QCOMPARE(AwakeSettings::defaultMinutes(), 0);
        QCOMPARE(AwakeSettings::customMinutes(), 0);
        QCOMPARE(AwakeSettings::statusColorHex(), QStringLiteral("#7C3AED"));
        QCOMPARE(AwakeSettings::keepDisplayAwake(), false);

        // An empty colour is a choice (no tint), not an absent value.
        AwakeSettings::setStatusColorHex(QString());
        QCOMPARE(AwakeSettings::statusColorHex(), QString());
        AwakeSettings::setKeepDisplayAwake(true);
        QCOMPARE(AwakeSettings::keepDisplayAwake(), true);
    }

    void defaultMinutesCountsOnlyPresetsAndCurrentCustom_data()
    {
        QTest::addColumn<qint64>("stored");
        QTest::addColumn<QVariant>("custom");
        QTest::addColumn<int>("expected");
        const QVariant none;
        QTest::newRow("custom matches") << qint64(45) << QVariant(45) << 45;
        QTest::newRow("stale custom") << qint64(45) << QVariant(50) << 0;
        QTest::newRow("custom clamped before comparing") << qint64(5999) << QVariant(7000) << 5999;
        QTest::newRow("negative") << qint64(-5) << none << 0;
        QTest::newRow("not a preset, no custom") << qint64(17) << none << 0;
        QTest::newRow("preset whatever the custom") << qint64(240) << QVariant(13) << 240;
        QTest::newRow("unlimited preset") << qint64(0) << QVariant(13) << 0;
        QTest::newRow("custom zero") << qint64(45) << QVariant(0) << 0;
    }
    void defaultMinutesCountsOnlyPresetsAndCurrentCustom()
    {
        QFETCH(qint64, stored);
        QFETCH(QVariant, custom);
        QFETCH(int, expected);
        // Stored as given, before the custom duration it may refer to: only reading judges it.
        AwakeSettings::setDefaultMinutes(stored);
        if (custom.isValid())
            DefaultsStore::setValue(customKey, custom);
        QCOMPARE(AwakeSettings::defaultMinutes(), expected);
    }

    void customMinutesIsClampedOnReadAndWrite_data()
    {
        QTest::addColumn<qint64>("minutes");
        QTest::addColumn<int>("expected");
        QTest::newRow("maximum") << qint64(5999) << 5999;
        QTest::newRow("above the maximum") << qint64(6000) << 5999;
        QTest::newRow("zero") << qint64(0) << 0;
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

    void formatMinutesPicksTheForm_data()
    {
        QTest::addColumn<qint64>("minutes");
        QTest::addColumn<QString>("expected");
        const auto mins
            = [](qint64 m) { return L(QStringLiteral("awake.custom_minutes_short"), m); };
        const auto hours
            = [](qint64 h) { return L(QStringLiteral("awake.custom_hours_short"), h); };
        const auto both = [](qint64 h, qint64 m) {
            return L(QStringLiteral("awake.custom_hours_minutes_short"), h, m);
        };
        QTest::newRow("0") << qint64(0) << mins(0);
        QTest::newRow("59") << qint64(59) << mins(59);
        QTest::newRow("-59") << qint64(-59) << mins(-59);
        QTest::newRow("60") << qint64(60) << hours(1);
        QTest::newRow("61") << qint64(61) << both(1, 1);
        QTest::newRow("5999") << qint64(5999) << both(99, 59);
        QTest::newRow("-90 truncates toward zero") << qint64(-90) << both(-1, -30);
    }
    void formatMinutesPicksTheForm()
    {
        QFETCH(qint64, minutes);
        QFETCH(QString, expected);
        QCOMPARE(AwakeSettings::formatMinutes(minutes), expected);
        QVERIFY(!expected.contains(u'%'));
    }

    void colourParsing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("hash and upper case") << QStringLiteral("#22C55E") << true;
        QTest::newRow("lower case, no hash") << QStringLiteral("22c55e") << true;
        QTest::newRow("space and tab around") << QStringLiteral(" #22C55E\t") << true;
        QTest::newRow("no-break space around") << QStringLiteral("\u00A0#22C55E\u2003") << true;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("only whitespace") << QStringLiteral(" \t ") << false;
        QTest::newRow("three digits") << QStringLiteral("#abc") << false;
        QTest::newRow("two hashes") << QStringLiteral("##22C55E") << false;
        QTest::newRow("trailing line break") << QStringLiteral("#22C55E\n") << false;
        QTest::newRow("not hexadecimal") << QStringLiteral("#22C55G") << false;
        QTest::newRow("sign inside") << QStringLiteral("+22C55") << false;
        QTest::newRow("combining accent makes 6 characters of 7 units")
            << QStringLiteral("22C55e\u0301") << false;
        QTest::newRow("full-width digits") << QStringLiteral("\uFF12\uFF12C55E") << false;
    }
    void colourParsing()
    {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        const std::optional<QColor> color = AwakeSettings::colorFromHex(text);
        QCOMPARE(color.has_value(), accepted);
        if (accepted) {
            QCOMPARE(color->rgb(), qRgb(0x22, 0xC5, 0x5E));
            QCOMPARE(color->alphaF(), 1.0f);
        }
    }

    void offeredColoursStartWithTheSystemOneAndAllParse()
    {
        const auto &colors = AwakeSettings::statusColors();
        QCOMPARE(colors.first().hex, QString());
        QCOMPARE(colors.first().titre, L(QStringLiteral("settings.color_system")));
        QVERIFY(colors.first().titre != QStringLiteral("settings.color_system"));
        QStringList hexes;
        for (const auto &row : colors.mid(1)) {
            QVERIFY2(AwakeSettings::colorFromHex(row.hex), qPrintable(row.hex));
            hexes << row.hex;
        }
        QVERIFY(hexes.contains(AwakeSettings::defaultStatusColorHex));
    }

    void storeKeepsTypesOnDisk()
    {
        const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7, 890), Qt::UTC);
        DefaultsStore::setValue(customKey, 95);
        DefaultsStore::setValue(QStringLiteral("VLKeepDisplay"), true);
        DefaultsStore::setValue(QStringLiteral("VLLastCrashScan"), when);
        DefaultsStore::setValue(QStringLiteral("VLShownMessages"), QVariantList { 3, 7 });

        const QJsonObject json
            = QJsonDocument::fromJson(readFile(DefaultsStore::filePath())).object();
        QCOMPARE(json.value(customKey).toVariant().typeId(), QMetaType::LongLong);
        QVERIFY(json.value("VLKeepDisplay").isBool());
        QCOMPARE(json.value("VLLastCrashScan").toObject().value("$date").toString(),
                 QStringLiteral("2026-03-04T05:06:07.890Z"));

        QSettings reread(DefaultsStore::filePath(), JsonSettingsFormat::format());
        QCOMPARE(reread.value("VLLastCrashScan").toDateTime(), when);
        QCOMPARE(reread.value("VLShownMessages").toList(), (QVariantList { qint64(3), qint64(7) }));
        QCOMPARE(DefaultsStore::date(QStringLiteral("VLLastCrashScan")), when);
        QCOMPARE(DefaultsStore::date(customKey), std::nullopt);
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
        QCOMPARE(QSettings(path, JsonSettingsFormat::format()).value(customKey),
                 QVariant(qint64(95)));
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
