#include "localisation.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QXmlStreamReader>

namespace {
QString sourceDir()
{
    return qEnvironmentVariable("VELUNA_SOURCE_DIR");
}

// The ids of one of the program's translation tables, with the text each one has there.
QMap<QString, QString> readTable(const QString &language)
{
    QMap<QString, QString> entries;
    QFile file(sourceDir() + QStringLiteral("/resources/translations/veluna_%1.ts").arg(language));
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    QXmlStreamReader xml(&file);
    QString id;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("message"))
            id = xml.attributes().value(QLatin1String("id")).toString();
        else if (xml.name() == QLatin1String("translation"))
            entries.insert(id, xml.readElementText());
    }
    return entries;
}

QStringList specifiers(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("%(?:[1-9]\\$)?(?:ll)?[d@s]"));
    QStringList found;
    for (auto it = pattern.globalMatch(text); it.hasNext();)
        found << it.next().captured().remove(QRegularExpression(QStringLiteral("[1-9]\\$")));
    found.sort();
    return found;
}

// Every string literal in the program's sources that looks like one of the table's keys.
QSet<QString> keysUsedInSources(const QSet<QString> &areas)
{
    static const QRegularExpression literal(QStringLiteral("\"([a-z]+)\\.([a-z0-9_]+)\""));
    QSet<QString> used;
    for (const QString &folder : { QStringLiteral("/core"), QStringLiteral("/app") }) {
        QDirIterator it(sourceDir() + folder, { "*.cpp", "*.h" }, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QString text = QString::fromUtf8(file.readAll());
            for (auto match = literal.globalMatch(text); match.hasNext();) {
                const auto m = match.next();
                if (areas.contains(m.captured(1)))
                    used.insert(m.captured(1) + u'.' + m.captured(2));
            }
        }
    }
    return used;
}

void installProgramTables(QLocale::Language language)
{
    Localisation::install(QStringLiteral(":/i18n"), QStringLiteral("veluna"), QLocale(language));
}
} // namespace

class TestLocalisation : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { installProgramTables(QLocale::English); }

    void userLanguageThenEnglishThenKey_data()
    {
        QTest::addColumn<QString>("tables");
        QTest::addColumn<QLocale::Language>("language");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const QString sample = QStringLiteral("sample");
        QTest::newRow("user language") << sample << QLocale::French << "sample.everywhere"
                                       << "Partout";
        QTest::newRow("English") << sample << QLocale::English << "sample.everywhere"
                                 << "Everywhere";
        QTest::newRow("English when the user's lacks it")
            << sample << QLocale::French << "sample.english_only"
            << "Only in English";
        QTest::newRow("key when no table has it") << sample << QLocale::French << "sample.nowhere"
                                                  << "sample.nowhere";
        QTest::newRow("translation equal to the key is still one")
            << sample << QLocale::French << "sample.same_as_key"
            << "sample.same_as_key";
        QTest::newRow("missing tables replace the earlier ones")
            << "absent" << QLocale::French << "awake.button_start"
            << "awake.button_start";
    }
    void userLanguageThenEnglishThenKey()
    {
        QFETCH(QString, tables);
        QFETCH(QLocale::Language, language);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        Localisation::install(QStringLiteral(":/sample-i18n"), tables, QLocale(language));
        QCOMPARE(L(key), expected);
        // Arguments a text does not ask for are never shown.
        QCOMPARE(L(key, 5, QStringLiteral("%@")), expected);
    }

    void formatFillsTypedArgumentsWithoutLocale_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QVariantList>("args");
        QTest::addColumn<QString>("expected");
        QTest::newRow("positional, no digit grouping")
            << "%3$@ : %2$lld sur %1$lld à 100 %%" << QVariantList { qint64(1234567), -3, "ok" }
            << "ok : -3 sur 1234567 à 100 %";
        QTest::newRow("argument text is not formatted again")
            << "%lld of %d done (%s)" << QVariantList { 2, 9, "a%lldb" } << "2 of 9 done (a%lldb)";
        QTest::newRow("missing arguments stay as written")
            << "%lld and %lld and %5$@" << QVariantList { 7 } << "7 and %lld and %5$@";
        QTest::newRow("lone percent and unknown specifier")
            << "100% sure %q" << QVariantList {} << "100% sure %q";
        QTest::newRow("escaped percent after a number") << "%d%%" << QVariantList { 50 } << "50%";
    }
    void formatFillsTypedArgumentsWithoutLocale()
    {
        QFETCH(QString, pattern);
        QFETCH(QVariantList, args);
        QFETCH(QString, expected);
        QLocale::setDefault(QLocale(QLocale::German));
        const QString formatted = Localisation::format(pattern, args);
        QLocale::setDefault(QLocale::c());
        QCOMPARE(formatted, expected);
    }

    void programTablesAreCompleteAndCompiledIn_data()
    {
        QTest::addColumn<QLocale::Language>("language");
        QTest::newRow("English") << QLocale::English;
        QTest::newRow("French") << QLocale::French;
    }
    void programTablesAreCompleteAndCompiledIn()
    {
        QFETCH(QLocale::Language, language);
        const auto english = readTable(QStringLiteral("en"));
        const auto table = readTable(QLocale::languageToCode(language));
        QVERIFY2(english.size() > 50, "the English table could not be read");
        QCOMPARE(QSet<QString>(table.keyBegin(), table.keyEnd()),
                 QSet<QString>(english.keyBegin(), english.keyEnd()));
        installProgramTables(language);
        for (auto it = table.cbegin(); it != table.cend(); ++it) {
            QVERIFY2(!it.value().isEmpty(), qPrintable(it.key()));
            QCOMPARE(specifiers(it.value()), specifiers(english.value(it.key())));
            QCOMPARE(L(it.key()), it.value());
        }
    }

    void everyKeyTheProgramUsesHasAnEnglishText()
    {
        const auto english = readTable(QStringLiteral("en"));
        QSet<QString> areas;
        for (const QString &key : english.keys())
            areas.insert(key.section(u'.', 0, 0));
        const QSet<QString> used = keysUsedInSources(areas);
        QVERIFY(used.contains(QStringLiteral("awake.status_hours_format")));
        for (const QString &key : used)
            QVERIFY2(english.contains(key),
                     qPrintable(key + QStringLiteral(" has no English text")));
    }
};

QTEST_GUILESS_MAIN(TestLocalisation)
#include "tst_localisation.moc"
