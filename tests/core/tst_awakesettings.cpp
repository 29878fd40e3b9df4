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

class TestAwakeSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() { DefaultsStore::clear(); }

    void freshInstallationReadsDefaults();
    void defaultMinutesCountsOnlyPresetsAndCurrentCustom_data();
    void defaultMinutesCountsOnlyPresetsAndCurrentCustom();
    void customMinutesIsClampedOnReadAndWrite();
    void mistypedEntriesReadAsAbsent();
    void emptyColourIsStoredAndMeansNoTint();
    void formatMinutesPicksTheForm_data();
    void formatMinutesPicksTheForm();
    void colourParsing_data();
    void colourParsing();
    void colourTableIsInOrder();

    void storeKeepsTypesOnDisk();
    void unreadableFileIsKeptBeforeBeingReplaced();
    void oversizedFileReadsAsEmpty();
};

void TestAwakeSettings::freshInstallationReadsDefaults()
{
    QCOMPARE(AwakeSettings::defaultMinutes(), 0);
    QCOMPARE(AwakeSettings::customMinutes(), 0);
    QCOMPARE(AwakeSettings::statusColorHex(), QStringLiteral("#7C3AED"));
    QCOMPARE(AwakeSettings::keepDisplayAwake(), false);
}

void TestAwakeSettings::defaultMinutesCountsOnlyPresetsAndCurrentCustom_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QVariant>("custom");
    QTest::addColumn<int>("expected");
    const QVariant none;
    QTest::newRow("custom matches") << QVariant(45) << QVariant(45) << 45;
    QTest::newRow("stale custom") << QVariant(45) << QVariant(50) << 0;
    QTest::newRow("custom clamped before comparing") << QVariant(5999) << QVariant(7000) << 5999;
    QTest::newRow("negative") << QVariant(-5) << none << 0;
    QTest::newRow("not a preset, no custom") << QVariant(17) << none << 0;
    QTest::newRow("preset whatever the custom") << QVariant(240) << QVariant(13) << 240;
    QTest::newRow("unlimited preset") << QVariant(0) << QVariant(13) << 0;
    QTest::newRow("custom zero") << QVariant(45) << QVariant(0) << 0;
}

void TestAwakeSettings::defaultMinutesCountsOnlyPresetsAndCurrentCustom()
{
    QFETCH(QVariant, stored);
    QFETCH(QVariant, custom);
    QFETCH(int, expected);
    DefaultsStore::setValue(QStringLiteral("VLDefaultMinutes"), stored);
    if (custom.isValid())
        DefaultsStore::setValue(QStringLiteral("VLCustomMinutes"), custom);
    QCOMPARE(AwakeSettings::defaultMinutes(), expected);
}

void TestAwakeSettings::customMinutesIsClampedOnReadAndWrite()
{
    AwakeSettings::setCustomMinutes(6000);
    QCOMPARE(DefaultsStore::integer(QStringLiteral("VLCustomMinutes")), 5999);
    AwakeSettings::setCustomMinutes(-1);
    QCOMPARE(DefaultsStore::integer(QStringLiteral("VLCustomMinutes")), 0);
    DefaultsStore::setValue(QStringLiteral("VLCustomMinutes"), 10000);
    QCOMPARE(AwakeSettings::customMinutes(), 5999);
    DefaultsStore::setValue(QStringLiteral("VLCustomMinutes"), -3);
    QCOMPARE(AwakeSettings::customMinutes(), 0);

    // The default duration is stored as given; only reading judges it.
    AwakeSettings::setDefaultMinutes(17);
    QCOMPARE(DefaultsStore::integer(QStringLiteral("VLDefaultMinutes")), 17);
}

void TestAwakeSettings::mistypedEntriesReadAsAbsent()
{
    DefaultsStore::setValue(QStringLiteral("VLDefaultMinutes"), QStringLiteral("240"));
    DefaultsStore::setValue(QStringLiteral("VLCustomMinutes"), true);
    DefaultsStore::setValue(QStringLiteral("VLStatusColor"), 42);
    DefaultsStore::setValue(QStringLiteral("VLKeepDisplay"), QStringLiteral("yes"));
    QCOMPARE(AwakeSettings::defaultMinutes(), 0);
    QCOMPARE(AwakeSettings::customMinutes(), 0);
    QCOMPARE(AwakeSettings::statusColorHex(), QStringLiteral("#7C3AED"));
    QCOMPARE(AwakeSettings::keepDisplayAwake(), false);

    AwakeSettings::setKeepDisplayAwake(true);
    QCOMPARE(AwakeSettings::keepDisplayAwake(), true);
}

void TestAwakeSettings::emptyColourIsStoredAndMeansNoTint()
{
    AwakeSettings::setStatusColorHex(QString());
    QCOMPARE(AwakeSettings::statusColorHex(), QString());
    QVERIFY(!AwakeSettings::colorFromHex(AwakeSettings::statusColorHex()));
}

void TestAwakeSettings::formatMinutesPicksTheForm_data()
{
    QTest::addColumn<qint64>("minutes");
    QTest::addColumn<QString>("expected");
    const auto minutes
        = [](qint64 m) { return L(QStringLiteral("awake.custom_minutes_short"), m); };
    const auto hours = [](qint64 h) { return L(QStringLiteral("awake.custom_hours_short"), h); };
    const auto both = [](qint64 h, qint64 m) {
        return L(QStringLiteral("awake.custom_hours_minutes_short"), h, m);
    };
    QTest::newRow("0") << qint64(0) << minutes(0);
    QTest::newRow("45") << qint64(45) << minutes(45);
    QTest::newRow("59") << qint64(59) << minutes(59);
    QTest::newRow("-59") << qint64(-59) << minutes(-59);
    QTest::newRow("60") << qint64(60) << hours(1);
    QTest::newRow("61") << qint64(61) << both(1, 1);
    QTest::newRow("90") << qint64(90) << both(1, 30);
    QTest::newRow("5999") << qint64(5999) << both(99, 59);
    QTest::newRow("-90 truncates toward zero") << qint64(-90) << both(-1, -30);
}

void TestAwakeSettings::formatMinutesPicksTheForm()
{
    QFETCH(qint64, minutes);
    QFETCH(QString, expected);
    QCOMPARE(AwakeSettings::formatMinutes(minutes), expected);
    QVERIFY(!expected.contains(u'%'));
}

void TestAwakeSettings::colourParsing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("hash and upper case") << QStringLiteral("#22C55E") << true;
    QTest::newRow("lower case, no hash") << QStringLiteral("22c55e") << true;
    QTest::newRow("space and tab around") << QStringLiteral(" #22C55E\t") << true;
    QTest::newRow("no-break space around") << QStringLiteral("\u00A0#22C55E\u2003") << true;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("only whitespace") << QStringLiteral(" \t ") << false;
    QTest::newRow("lone hash") << QStringLiteral("#") << false;
    QTest::newRow("three digits") << QStringLiteral("#abc") << false;
    QTest::newRow("two hashes") << QStringLiteral("##22C55E") << false;
    QTest::newRow("trailing line break") << QStringLiteral("#22C55E\n") << false;
    QTest::newRow("not hexadecimal") << QStringLiteral("#22C55G") << false;
    QTest::newRow("sign inside") << QStringLiteral("+22C55") << false;
    QTest::newRow("combining accent makes 6 characters of 7 units")
        << QStringLiteral("22C55e\u0301") << false;
    QTest::newRow("full-width digits") << QStringLiteral("\uFF12\uFF12C55E") << false;
}

void TestAwakeSettings::colourParsing()
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

void TestAwakeSettings::colourTableIsInOrder()
{
    const auto &colors = AwakeSettings::statusColors();
    QStringList hexes;
    for (const auto &row : colors)
        hexes << row.hex;
    QCOMPARE(hexes,
             QStringList({ QString(), "#7C3AED", "#F59E0B", "#22C55E", "#3B82F6", "#E11D48" }));
    QCOMPARE(colors.first().titre, L(QStringLiteral("settings.color_system")));
    QVERIFY(colors.first().titre != QStringLiteral("settings.color_system"));
    for (const auto &row : colors.mid(1))
        QVERIFY2(AwakeSettings::colorFromHex(row.hex), qPrintable(row.hex));
}

void TestAwakeSettings::storeKeepsTypesOnDisk()
{
    const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7, 890), Qt::UTC);
    DefaultsStore::setValue(QStringLiteral("VLCustomMinutes"), 95);
    DefaultsStore::setValue(QStringLiteral("VLKeepDisplay"), true);
    DefaultsStore::setValue(QStringLiteral("VLLastCrashScan"), when);
    DefaultsStore::setValue(QStringLiteral("VLShownMessages"), QVariantList { 3, 7 });

    QFile file(DefaultsStore::filePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject json = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(json.value("VLCustomMinutes").toVariant().typeId(), QMetaType::LongLong);
    QVERIFY(json.value("VLKeepDisplay").isBool());
    QCOMPARE(json.value("VLLastCrashScan").toObject().value("$date").toString(),
             QStringLiteral("2026-03-04T05:06:07.890Z"));

    QSettings reread(DefaultsStore::filePath(), JsonSettingsFormat::format());
    QCOMPARE(reread.value("VLLastCrashScan").toDateTime(), when);
    QCOMPARE(reread.value("VLShownMessages").toList(), (QVariantList { qint64(3), qint64(7) }));
    QCOMPARE(DefaultsStore::date(QStringLiteral("VLLastCrashScan")), when);
    QCOMPARE(DefaultsStore::date(QStringLiteral("VLCustomMinutes")), std::nullopt);
}

void TestAwakeSettings::unreadableFileIsKeptBeforeBeingReplaced()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("veluna.json"));
    const QByteArray broken = "{\"VLCustomMinutes\": 95, oops";
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(broken);
    file.close();
    {
        QSettings settings(path, JsonSettingsFormat::format());
        QCOMPARE(settings.childKeys(), QStringList());
        settings.setValue(QStringLiteral("VLKeepDisplay"), true);
    }
    QFile kept(path + QStringLiteral(".unreadable"));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), broken);
    QSettings replaced(path, JsonSettingsFormat::format());
    QCOMPARE(replaced.value(QStringLiteral("VLKeepDisplay")), QVariant(true));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2);
}

void TestAwakeSettings::oversizedFileReadsAsEmpty()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("veluna.json"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("{\"VLKeepDisplay\": true, \"filler\": \"" + QByteArray(5 * 1024 * 1024, 'x')
               + "\"}");
    file.close();
    QSettings settings(path, JsonSettingsFormat::format());
    QVERIFY(!settings.contains(QStringLiteral("VLKeepDisplay")));
    QVERIFY(QFile::exists(path + QStringLiteral(".unreadable")));
}

QTEST_GUILESS_MAIN(TestAwakeSettings)
#include "tst_awakesettings.moc"
