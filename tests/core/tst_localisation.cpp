// SPDX-License-Identifier: MIT
#include "localisation.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestLocalisation : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { Localisation::install(u":/i18n"_s, u"veluna"_s, QLocale(QLocale::English)); }

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
};

QTEST_GUILESS_MAIN(TestLocalisation)
#include "tst_localisation.moc"
