// SPDX-License-Identifier: MIT
#include "localisation.h"
#include "testfiles.h"

#include <QDirIterator>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {
const QString sourceDir = qEnvironmentVariable("VELUNA_SOURCE_DIR");

// The ids of one of the program's translation tables, with the text each one has there.
QMap<QString, QString> readTable(const QString &language)
{
    static const QRegularExpression message(
        QStringLiteral("<message id=\"([^\"]+)\">.*?<translation[^>]*>(.*?)</translation>"),
        QRegularExpression::DotMatchesEverythingOption);
    QMap<QString, QString> entries;
    const QString text = QString::fromUtf8(TestFiles::read(
        sourceDir + QStringLiteral("/resources/translations/veluna_%1.ts").arg(language)));
    for (auto it = message.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        entries.insert(match.captured(1), match.captured(2));
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
} // namespace

using namespace Qt::StringLiterals;

class TestLocalisation : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        QLocale::setDefault(QLocale::c());
        Localisation::install(u":/i18n"_s, u"veluna"_s, QLocale(QLocale::English));
    }

    // A language without a table reads English; a key in no table reads as itself.
    void userLanguageThenEnglishThenKey()
    {
        const auto install = [](const char *tables, QLocale::Language language) {
            Localisation::install(u":/i18n"_s, QString::fromLatin1(tables), QLocale(language));
        };
        install("veluna", QLocale::French);
        QCOMPARE(L(u"menu.quit"_s), u"Quitter Veluna"_s);
        QCOMPARE(L(u"menu.no_such_item"_s, 5, "%@"), u"menu.no_such_item"_s);
        install("veluna", QLocale::German);
        QCOMPARE(L(u"menu.quit"_s), u"Quit Veluna"_s);
        install("absent", QLocale::French); // missing tables replace the earlier ones
        QCOMPARE(L(u"menu.quit"_s), u"menu.quit"_s);
    }

    void formatFillsTypedArgumentsWithoutLocale()
    {
        QLocale::setDefault(QLocale(QLocale::German));
        const auto format = [](const char *pattern, const QVariantList &args) {
            return Localisation::format(QString::fromUtf8(pattern), args);
        };
        QCOMPARE(format("%3$@ : %2$lld sur %1$lld à 100 %%", { qint64(1234567), -3, "ok" }),
                 QStringLiteral("ok : -3 sur 1234567 à 100 %"));
        QCOMPARE(format("%lld of %d (%s)", { 2, 9, "a%lldb" }), QStringLiteral("2 of 9 (a%lldb)"));
        // Missing arguments and unknown specifiers stay as written.
        QCOMPARE(format("%lld, %lld, %5$@, 100% %q", { 7 }),
                 QStringLiteral("7, %lld, %5$@, 100% %q"));
    }

    // Both tables match key for key, specifier for specifier; every key the sources use exists.
    void programTablesAreComplete()
    {
        const auto english = readTable(QStringLiteral("en"));
        QVERIFY2(english.size() > 50, "the English table could not be read");
        for (const QLocale::Language language : { QLocale::English, QLocale::French }) {
            const auto table = readTable(QLocale::languageToCode(language));
            QCOMPARE(table.keys(), english.keys());
            for (auto it = table.cbegin(); it != table.cend(); ++it) {
                QVERIFY2(!it.value().isEmpty(), qPrintable(it.key()));
                QCOMPARE(specifiers(it.value()), specifiers(english.value(it.key())));
            }
        }
        QSet<QString> areas;
        for (const QString &key : english.keys())
            areas.insert(key.section(u'.', 0, 0));
        static const QRegularExpression literal(QStringLiteral("\"([a-z]+)\\.([a-z0-9_]+)\""));
        int used = 0;
        for (const char *folder : { "/core", "/app" }) {
            QDirIterator it(sourceDir + QLatin1String(folder), { "*.cpp", "*.h" }, QDir::Files,
                            QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString text = QString::fromUtf8(TestFiles::read(it.next()));
                for (auto match = literal.globalMatch(text); match.hasNext();) {
                    const QString key = match.next().captured();
                    if (!areas.contains(key.section(u'.', 0, 0).mid(1)))
                        continue;
                    ++used;
                    QVERIFY2(english.contains(key.mid(1, key.size() - 2)), qPrintable(key));
                }
            }
        }
        QVERIFY(used > 50);
    }
};

QTEST_GUILESS_MAIN(TestLocalisation)
#include "tst_localisation.moc"
