// The identity every request carries: the device identifier, the version and the system text.

#include "defaultsstore.h"
#include "requestidentity.h"

#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

class TestRequestIdentity : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() { DefaultsStore::clear(); }

    void deviceIdIsCreatedOnceAndKept();
    void storedDeviceIdIsAnsweredAsItIs_data();
    void storedDeviceIdIsAnsweredAsItIs();
    void readingForReportsNeverCreatesTheId();
    void versionIsTheProjectVersion();
    void systemTextNamesTheSystemOnOneLine();
};

void TestRequestIdentity::deviceIdIsCreatedOnceAndKept()
{
    const QString created = RequestIdentity::deviceId();
    static const QRegularExpression uuid(
        QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
    QVERIFY2(uuid.match(created).hasMatch(), qPrintable(created));
    QCOMPARE(DefaultsStore::string(QStringLiteral("VLDeviceId")), std::optional(created));
    QCOMPARE(RequestIdentity::deviceId(), created);
    QCOMPARE(RequestIdentity::storedDeviceId(), created);

    DefaultsStore::clear();
    QVERIFY(RequestIdentity::deviceId() != created);
}

void TestRequestIdentity::storedDeviceIdIsAnsweredAsItIs_data()
{
    QTest::addColumn<QString>("stored");
    QTest::newRow("lower case, not a UUID") << "my-mac";
    QTest::newRow("empty") << "";
}

void TestRequestIdentity::storedDeviceIdIsAnsweredAsItIs()
{
    QFETCH(QString, stored);
    DefaultsStore::setValue(QStringLiteral("VLDeviceId"), stored);
    QCOMPARE(RequestIdentity::deviceId(), stored);
    QCOMPARE(RequestIdentity::storedDeviceId(), stored);
}

void TestRequestIdentity::readingForReportsNeverCreatesTheId()
{
    QCOMPARE(RequestIdentity::storedDeviceId(), QStringLiteral("?"));
    QVERIFY(!DefaultsStore::value(QStringLiteral("VLDeviceId")).isValid());

    // A value of another type is not an identifier: a new one replaces it.
    DefaultsStore::setValue(QStringLiteral("VLDeviceId"), 7);
    QCOMPARE(RequestIdentity::storedDeviceId(), QStringLiteral("?"));
    QCOMPARE(RequestIdentity::deviceId().size(), 36);
}

void TestRequestIdentity::versionIsTheProjectVersion()
{
    QCOMPARE(RequestIdentity::versionText(), QStringLiteral(VELUNA_PROJECT_VERSION));
}

void TestRequestIdentity::systemTextNamesTheSystemOnOneLine()
{
    const QString text = RequestIdentity::systemText();
    QVERIFY2(QRegularExpression(QStringLiteral("^\\S+ \\S+")).match(text).hasMatch(),
             qPrintable(text));
    QVERIFY(!text.contains(QLatin1Char('\n')));
}

QTEST_GUILESS_MAIN(TestRequestIdentity)
#include "tst_requestidentity.moc"
