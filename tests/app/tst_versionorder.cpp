#include "versionorder.h"

#include <QTest>

class TestVersionOrder : public QObject
{
    Q_OBJECT

private slots:
    void ordersVersionsAsPeopleRead_data();
    void ordersVersionsAsPeopleRead();
    void onlyVersionsStartingWithADigitAreValid();
};

void TestVersionOrder::ordersVersionsAsPeopleRead_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("order");
    QTest::newRow("numeric, not textual") << "1.10"
                                          << "1.9" << 1;
    QTest::newRow("major wins") << "2.0"
                                << "1.99.99" << 1;
    QTest::newRow("trailing zeros") << "1.2"
                                    << "1.2.0" << 0;
    QTest::newRow("trailing zeros, longer") << "1.2.0.0"
                                            << "1.2" << 0;
    QTest::newRow("longer is newer") << "1.2.1"
                                     << "1.2" << 1;
    QTest::newRow("same") << "1.0.0"
                          << "1.0.0" << 0;
    QTest::newRow("leading zeros") << "1.02"
                                   << "1.2" << 0;
    QTest::newRow("v prefix") << "v1.3"
                              << "1.2.9" << 1;
    QTest::newRow("pre-release before release") << "1.2-beta"
                                                << "1.2" << -1;
    QTest::newRow("pre-release after previous") << "1.2-beta"
                                                << "1.1.9" << 1;
    QTest::newRow("rc of a later patch") << "1.2.0rc1"
                                         << "1.2" << -1;
    QTest::newRow("beta before rc") << "1.2-beta"
                                    << "1.2-rc" << -1;
    QTest::newRow("suffix digits numeric") << "1.2-rc10"
                                           << "1.2-rc2" << 1;
    QTest::newRow("suffix case") << "1.2-RC1"
                                 << "1.2-rc1" << 0;
    QTest::newRow("dotted pre-release") << "1.2.0-beta.10"
                                        << "1.2.0-beta.2" << 1;
    QTest::newRow("spaces") << " 1.4 "
                            << "1.4" << 0;
    QTest::newRow("absurdly long part") << "1.99999999999999999999999"
                                        << "1.5" << 1;
    QTest::newRow("garbage is oldest") << "garbage"
                                       << "0.0.1" << -1;
}

void TestVersionOrder::ordersVersionsAsPeopleRead()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, order);
    QCOMPARE(VersionOrder::compare(a, b), order);
    QCOMPARE(VersionOrder::compare(b, a), -order);
    QCOMPARE(VersionOrder::isNewer(a, b), order > 0);
}

void TestVersionOrder::onlyVersionsStartingWithADigitAreValid()
{
    QVERIFY(VersionOrder::isValid(u"1"));
    QVERIFY(VersionOrder::isValid(u"v2.0-beta"));
    QVERIFY(!VersionOrder::isValid(u""));
    QVERIFY(!VersionOrder::isValid(u"v"));
    QVERIFY(!VersionOrder::isValid(u"latest"));
    QVERIFY(!VersionOrder::isValid(u"  "));
}

QTEST_APPLESS_MAIN(TestVersionOrder)
#include "tst_versionorder.moc"
