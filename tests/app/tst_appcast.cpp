// SPDX-License-Identifier: MIT
#include "appcast.h"
#include "updatefeeds.h"
#include "versionorder.h"

#include <QTest>

using namespace UpdateFeeds;

// What the updater reads from a feed, and the version order it relies on.
class TestAppcast : public QObject
{
    Q_OBJECT

private slots:
    void readsItemsAndPicksTheHighestVersion()
    {
        const auto parsed = Appcast::parse(
            feed(item("1.9", "<link>http://plenox.app/veluna/old</link>") + item("1.10")
                 + item("1.2") + "<item><title>no version</title></item>"
                 + "<item><other:version xmlns:other=\"urn:other\">9.0</other:version></item>"));
        QVERIFY(parsed);
        QCOMPARE(parsed->items().size(), 3);
        QVERIFY(parsed->items().first().downloadPage.isEmpty()); // plain http is dropped
        QCOMPARE(parsed->newest()->version, QStringLiteral("1.10"));
        // An empty channel is a valid feed with nothing to offer.
        QVERIFY(!Appcast::parse(feed({}))->newest());
    }

    void unusableFeedsAndUnverifiableFiles_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("verifiable"); // -1: the feed is refused
        const auto file = [](const QByteArray &attributes) {
            return feed(item("1.3", "<enclosure " + attributes + "/>"));
        };
        const QByteArray url = "url=\"https://plenox.app/v.AppImage\" ";
        const QByteArray hex = QByteArray(32, '\xab').toHex().toUpper();
        const QByteArray hash = "veluna:sha256=\"" + hex + "\" ";
        QTest::newRow("truncated") << feed(item("1.2")).left(150) << -1;
        QTest::newRow("garbage after the feed") << feed(item("1.2")) + "<rss>" << -1;
        QTest::newRow("no usable version")
            << feed(item("latest") + "<item><version>9.0</version></item>") << -1;
        QTest::newRow("complete file") << file(url + "length=\"5\" " + hash) << 1;
        QTest::newRow("plain http")
            << file("url=\"http://plenox.app/v\" length=\"5\" " + hash) << 0;
        QTest::newRow("zero length") << file(url + "length=\"0\" " + hash) << 0;
        QTest::newRow("short digest") << file(url + "length=\"5\" veluna:sha256=\"abcd\"") << 0;
        QTest::newRow("digest outside our namespace")
            << file(url + "length=\"5\" sha256=\"" + hex + "\"") << 0;
    }

    void unusableFeedsAndUnverifiableFiles()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, verifiable);
        const auto parsed = Appcast::parse(text);
        QCOMPARE(parsed.has_value(), verifiable != -1);
        if (parsed)
            QCOMPARE(int(parsed->newest()->hasVerifiableFile()), verifiable);
    }

    void versionsOrderAsPeopleReadThem_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("order");
        const auto row = [](const char *name, const char *a, const char *b, int order) {
            QTest::newRow(name) << QString::fromUtf8(a) << QString::fromUtf8(b) << order;
        };
        row("numeric, not textual", "1.10", "1.9", 1);
        row("trailing zeros", "1.2.0.0", "1.2", 0);
        row("leading zeros and v", "v1.02", "1.2", 0);
        row("pre-release before release", "1.2.0rc1", "1.2", -1);
        row("pre-release after previous", "1.2-beta", "1.1.9", 1);
        row("beta before rc", "1.2-beta", "1.2-rc", -1);
        row("suffix numbers numeric, any case", "1.2-RC10", "1.2-rc2", 1);
        row("absurdly long part", "1.99999999999999999999999", "1.5", 1);
        row("garbage is oldest", "latest", "0.0.1", -1);
    }

    void versionsOrderAsPeopleReadThem()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, order);
        QCOMPARE(VersionOrder::compare(a, b), order);
        QCOMPARE(VersionOrder::compare(b, a), -order);
        QCOMPARE(VersionOrder::isNewer(a, b), order > 0);
        QCOMPARE(VersionOrder::isValid(a), a != u"latest");
    }
};

QTEST_APPLESS_MAIN(TestAppcast)
#include "tst_appcast.moc"
