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

// The ids of a translation table, with the text each one has there.
QMap<QString, QString> readTable(const QString &path)
{
    QMap<QString, QString> entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    QXmlStreamReader xml(&file);
    QString id;
    while (xml.readNextStartElement() || !xml.atEnd()) {
        if (xml.isStartElement() && xml.name() == QLatin1String("message"))
            id = xml.attributes().value(QLatin1String("id")).toString();
        else if (xml.isStartElement() && xml.name() == QLatin1String("translation"))
            entries.insert(id, xml.readElementText());
        else
            xml.readNext();
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
} // namespace

class TestLocalisation : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void userLanguageThenEnglishThenKey();
    void translationEqualToTheKeyIsStillATranslation();
    void missingTablesFallBackToTheKey();
    void formatFillsTypedArgumentsWithoutLocale();
    void formatNeverReadsMissingArguments();
    void everyKeyTheProgramUsesHasAnEnglishText();
    void frenchTableMatchesTheEnglishOne();
    void programTablesAreCompiledIn();
};

void TestLocalisation::cleanup()
{
    Localisation::install(QStringLiteral(":/i18n"), QStringLiteral("veluna"),
                          QLocale(QLocale::English));
}

void TestLocalisation::userLanguageThenEnglishThenKey()
{
    Localisation::install(QStringLiteral(":/sample-i18n"), QStringLiteral("sample"),
                          QLocale(QLocale::French, QLocale::France));
    QCOMPARE(L(QStringLiteral("sample.everywhere")), QStringLiteral("Partout"));
    QCOMPARE(L(QStringLiteral("sample.english_only")), QStringLiteral("Only in English"));
    QCOMPARE(L(QStringLiteral("sample.nowhere")), QStringLiteral("sample.nowhere"));
    QCOMPARE(L(QStringLiteral("sample.nowhere"), 5, QStringLiteral("x")),
             QStringLiteral("sample.nowhere"));

    Localisation::install(QStringLiteral(":/sample-i18n"), QStringLiteral("sample"),
                          QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(L(QStringLiteral("sample.everywhere")), QStringLiteral("Everywhere"));
}

void TestLocalisation::translationEqualToTheKeyIsStillATranslation()
{
    Localisation::install(QStringLiteral(":/sample-i18n"), QStringLiteral("sample"),
                          QLocale(QLocale::French));
    QCOMPARE(L(QStringLiteral("sample.same_as_key")), QStringLiteral("sample.same_as_key"));
}

void TestLocalisation::missingTablesFallBackToTheKey()
{
    Localisation::install(QStringLiteral(":/sample-i18n"), QStringLiteral("absent"),
                          QLocale(QLocale::French));
    QCOMPARE(L(QStringLiteral("sample.everywhere")), QStringLiteral("sample.everywhere"));
    QCOMPARE(L(QStringLiteral("awake.button_start")), QStringLiteral("awake.button_start"));
}

void TestLocalisation::formatFillsTypedArgumentsWithoutLocale()
{
    QLocale::setDefault(QLocale(QLocale::German));
    Localisation::install(QStringLiteral(":/sample-i18n"), QStringLiteral("sample"),
                          QLocale(QLocale::French));
    QCOMPARE(
        L(QStringLiteral("sample.progress"), qint64(1234567), qint64(-3), QStringLiteral("ok")),
        QStringLiteral("ok : -3 sur 1234567 à 100 %"));
    Localisation::install(QStringLiteral(":/sample-i18n"), QStringLiteral("sample"),
                          QLocale(QLocale::English));
    QCOMPARE(L(QStringLiteral("sample.progress"), 2, 9, QStringLiteral("a%lldb")),
             QStringLiteral("2 of 9 done (a%lldb)"));
    QLocale::setDefault(QLocale::c());
}

void TestLocalisation::formatNeverReadsMissingArguments()
{
    QCOMPARE(Localisation::format(QStringLiteral("%lld and %lld and %5$@"), { 7 }),
             QStringLiteral("7 and %lld and %5$@"));
    QCOMPARE(Localisation::format(QStringLiteral("100% sure %q"), {}),
             QStringLiteral("100% sure %q"));
    QCOMPARE(Localisation::format(QStringLiteral("%d%%"), { 50 }), QStringLiteral("50%"));
}

void TestLocalisation::everyKeyTheProgramUsesHasAnEnglishText()
{
    const auto english
        = readTable(sourceDir() + QStringLiteral("/resources/translations/veluna_en.ts"));
    QVERIFY2(english.size() > 50, "the English table could not be read");
    QSet<QString> areas;
    for (const QString &key : english.keys())
        areas.insert(key.section(u'.', 0, 0));
    const QSet<QString> used = keysUsedInSources(areas);
    QVERIFY(used.contains(QStringLiteral("awake.status_hours_format")));
    for (const QString &key : used) {
        QVERIFY2(english.contains(key), qPrintable(key + QStringLiteral(" has no English entry")));
        QVERIFY2(L(key) != key, qPrintable(key + QStringLiteral(" is not compiled in")));
    }
}

void TestLocalisation::frenchTableMatchesTheEnglishOne()
{
    const QString dir = sourceDir() + QStringLiteral("/resources/translations/");
    const auto english = readTable(dir + QStringLiteral("veluna_en.ts"));
    const auto french = readTable(dir + QStringLiteral("veluna_fr.ts"));
    QCOMPARE(QSet<QString>(french.keyBegin(), french.keyEnd()),
             QSet<QString>(english.keyBegin(), english.keyEnd()));
    for (auto it = english.cbegin(); it != english.cend(); ++it) {
        QVERIFY2(!french.value(it.key()).isEmpty(), qPrintable(it.key()));
        QCOMPARE(specifiers(french.value(it.key())), specifiers(it.value()));
    }
}

void TestLocalisation::programTablesAreCompiledIn()
{
    Localisation::install(QStringLiteral(":/i18n"), QStringLiteral("veluna"),
                          QLocale(QLocale::French));
    const QString french = L(QStringLiteral("menu.quit"));
    Localisation::install(QStringLiteral(":/i18n"), QStringLiteral("veluna"),
                          QLocale(QLocale::English));
    const QString english = L(QStringLiteral("menu.quit"));
    QVERIFY(french != QStringLiteral("menu.quit"));
    QVERIFY(english != QStringLiteral("menu.quit"));
    QVERIFY(french != english);
}

QTEST_GUILESS_MAIN(TestLocalisation)
#include "tst_localisation.moc"
