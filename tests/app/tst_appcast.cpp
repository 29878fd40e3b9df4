#include "appcast.h"
#include "htmltext.h"
#include "updatefeeds.h"
#include "versionorder.h"

#include <QTest>

using UpdateFeeds::feed;
using UpdateFeeds::item;

namespace {
const QByteArray digest = QByteArray(32, '\xab');

void versionRow(const char *name, const QString &a, const QString &b, int order)
{
    QTest::newRow(name) << a << b << order;
}
} // namespace

// What the updater reads from a feed: the releases, the newest of them by version order, and
// release notes reduced to plain text.
class TestAppcast : public QObject
{
    Q_OBJECT

private slots:
    void readsAFullItem();
    void newestIsTheHighestVersionWhateverTheOrder();
    void versionMustBeInOurNamespace();
    void unusableFeedsAreRefused_data();
    void unusableFeedsAreRefused();
    void insecureAddressesAreDropped();
    void fileIsVerifiableOnlyWithSizeAndDigest_data();
    void fileIsVerifiableOnlyWithSizeAndDigest();
    void releaseNotesBecomePlainText_data();
    void releaseNotesBecomePlainText();
    void versionsOrderAsPeopleReadThem_data();
    void versionsOrderAsPeopleReadThem();
    void onlyVersionsStartingWithADigitAreValid();
};

void TestAppcast::readsAFullItem()
{
    const auto parsed = Appcast::parse(feed(
        item("1.2.0",
             "<link>https://plenox.app/veluna/download</link>"
             "<description><![CDATA[<p>Faster <b>start</b>.</p><ul><li>One</li><li>Two</li></ul>]]>"
             "</description>"
             "<enclosure url=\"https://plenox.app/veluna/Veluna-1.2.0.AppImage\" length=\"123456\" "
             "type=\"application/octet-stream\" veluna:sha256=\""
                 + digest.toHex().toUpper() + "\"/>")));
    QVERIFY(parsed);
    QCOMPARE(parsed->items().size(), 1);
    const Appcast::Item &release = parsed->items().first();
    QCOMPARE(release.version, QStringLiteral("1.2.0"));
    QCOMPARE(release.downloadPage, QUrl(QStringLiteral("https://plenox.app/veluna/download")));
    QCOMPARE(release.releaseNotes, QStringLiteral("Faster start.\n• One\n• Two"));
    QCOMPARE(release.fileUrl,
             QUrl(QStringLiteral("https://plenox.app/veluna/Veluna-1.2.0.AppImage")));
    QCOMPARE(release.fileLength, 123456);
    QCOMPARE(release.fileSha256, digest);
    QVERIFY(release.hasVerifiableFile());
}

void TestAppcast::newestIsTheHighestVersionWhateverTheOrder()
{
    const auto parsed = Appcast::parse(
        feed(item("1.9") + item("1.10") + item("1.2") + "<item><title>no version</title></item>"));
    QVERIFY(parsed);
    QCOMPARE(parsed->items().size(), 3);
    QCOMPARE(parsed->newest()->version, QStringLiteral("1.10"));
    // An empty channel is a valid feed with nothing to offer.
    QVERIFY(!Appcast::parse(feed({}))->newest());
}

void TestAppcast::versionMustBeInOurNamespace()
{
    const QByteArray foreign = "<item><other:version xmlns:other=\"urn:other\">9.0</other:version>"
                               "<version>9.0</version></item>";
    QVERIFY(!Appcast::parse(feed(foreign)));
    QCOMPARE(Appcast::parse(feed(foreign + item("1.1")))->newest()->version, QStringLiteral("1.1"));
}

void TestAppcast::unusableFeedsAreRefused_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("html page") << QByteArray("<!DOCTYPE html><html><body>Not here</body></html>");
    QTest::newRow("truncated") << feed(item("1.2")).left(150);
    QTest::newRow("garbage after the feed") << feed(item("1.2")) + "<rss>";
    QTest::newRow("no channel") << QByteArray("<rss version=\"2.0\"></rss>");
    QTest::newRow("atom feed") << QByteArray(
        "<feed xmlns=\"http://www.w3.org/2005/Atom\"><entry/></feed>");
    QTest::newRow("items without versions")
        << feed(item("") + "<item><title>Veluna 2</title></item>" + item("latest"));
    QTest::newRow("unclosed CDATA") << feed("<item><description><![CDATA[x</description></item>");
}

void TestAppcast::unusableFeedsAreRefused()
{
    QFETCH(QByteArray, text);
    QVERIFY(!Appcast::parse(text));
}

void TestAppcast::insecureAddressesAreDropped()
{
    const auto parsed = Appcast::parse(
        feed(item("2.0",
                  "<link>http://plenox.app/veluna/download</link>"
                  "<enclosure url=\"ftp://plenox.app/Veluna.AppImage\" length=\"10\" "
                  "veluna:sha256=\""
                      + digest.toHex() + "\"/>")));
    const Appcast::Item release = *parsed->newest();
    QVERIFY(release.downloadPage.isEmpty());
    QVERIFY(release.fileUrl.isEmpty());
    QVERIFY(!release.hasVerifiableFile());
}

void TestAppcast::fileIsVerifiableOnlyWithSizeAndDigest_data()
{
    QTest::addColumn<QByteArray>("enclosure");
    QTest::addColumn<bool>("verifiable");
    const QByteArray url = "url=\"https://plenox.app/v.AppImage\" ";
    const QByteArray hash = "veluna:sha256=\"" + digest.toHex() + "\" ";
    QTest::newRow("complete") << url + "length=\"5\" " + hash << true;
    QTest::newRow("no length") << url + hash << false;
    QTest::newRow("zero length") << url + "length=\"0\" " + hash << false;
    QTest::newRow("negative length") << url + "length=\"-5\" " + hash << false;
    QTest::newRow("no digest") << url + "length=\"5\"" << false;
    QTest::newRow("short digest") << url + "length=\"5\" veluna:sha256=\"abcd\"" << false;
    QTest::newRow("digest not hex")
        << url + "length=\"5\" veluna:sha256=\"" + QByteArray(64, 'z') + "\"" << false;
    QTest::newRow("digest outside our namespace")
        << url + "length=\"5\" sha256=\"" + digest.toHex() + "\"" << false;
}

void TestAppcast::fileIsVerifiableOnlyWithSizeAndDigest()
{
    QFETCH(QByteArray, enclosure);
    QFETCH(bool, verifiable);
    const auto parsed = Appcast::parse(feed(item("1.3", "<enclosure " + enclosure + "/>")));
    QVERIFY(parsed);
    QCOMPARE(parsed->newest()->hasVerifiableFile(), verifiable);
}

void TestAppcast::releaseNotesBecomePlainText_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("text");
    const auto row = [](const char *name, const char *html, const char *text) {
        QTest::newRow(name) << QString::fromUtf8(html) << QString::fromUtf8(text);
    };
    row("plain text keeps its lines", "Fixes:\n- one\n- two\n", "Fixes:\n- one\n- two");
    row("tags stripped", "<b>x</b> and <a href=\"https://evil.example\">y</a>", "x and y");
    row("images vanish", "<p>a<img src=\"https://tracker.example/p.png\">b</p>", "ab");
    row("escaped markup stays literal", "<p>&lt;b&gt;x&lt;/b&gt; &amp; &#65;&#x42;</p>",
        "<b>x</b> & AB");
    row("scripts and styles dropped with content",
        "<style>p{}</style><p>ok</p><script>alert(1)</script><!-- note -->", "ok");
    row("source line breaks are spaces", "<p>one\n  two</p>\n\n\n<p>three<br/>four</p>",
        "one two\nthree\nfour");
    row("unknown and broken references kept", "<i>&bogus; &#0; &#xD800;</i>",
        "&bogus; &#0; &#xD800;");
}

void TestAppcast::releaseNotesBecomePlainText()
{
    QFETCH(QString, html);
    QFETCH(QString, text);
    QCOMPARE(HtmlText::toPlainText(html), text);
}

void TestAppcast::versionsOrderAsPeopleReadThem_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("order");
    versionRow("numeric, not textual", "1.10", "1.9", 1);
    versionRow("major wins", "2.0", "1.99.99", 1);
    versionRow("trailing zeros", "1.2", "1.2.0", 0);
    versionRow("trailing zeros, longer", "1.2.0.0", "1.2", 0);
    versionRow("longer is newer", "1.2.1", "1.2", 1);
    versionRow("leading zeros", "1.02", "1.2", 0);
    versionRow("v prefix", "v1.3", "1.2.9", 1);
    versionRow("pre-release before release", "1.2-beta", "1.2", -1);
    versionRow("pre-release after previous", "1.2-beta", "1.1.9", 1);
    versionRow("rc of a later patch", "1.2.0rc1", "1.2", -1);
    versionRow("beta before rc", "1.2-beta", "1.2-rc", -1);
    versionRow("suffix digits numeric", "1.2-rc10", "1.2-rc2", 1);
    versionRow("suffix case", "1.2-RC1", "1.2-rc1", 0);
    versionRow("dotted pre-release", "1.2.0-beta.10", "1.2.0-beta.2", 1);
    versionRow("spaces", " 1.4 ", "1.4", 0);
    versionRow("absurdly long part", "1.99999999999999999999999", "1.5", 1);
    versionRow("garbage is oldest", "garbage", "0.0.1", -1);
}

void TestAppcast::versionsOrderAsPeopleReadThem()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, order);
    QCOMPARE(VersionOrder::compare(a, b), order);
    QCOMPARE(VersionOrder::compare(b, a), -order);
    QCOMPARE(VersionOrder::isNewer(a, b), order > 0);
}

void TestAppcast::onlyVersionsStartingWithADigitAreValid()
{
    QVERIFY(VersionOrder::isValid(u"1"));
    QVERIFY(VersionOrder::isValid(u"v2.0-beta"));
    for (const char16_t *invalid : { u"", u"v", u"latest", u"  " })
        QVERIFY2(!VersionOrder::isValid(invalid), qPrintable(QString::fromUtf16(invalid)));
}

QTEST_APPLESS_MAIN(TestAppcast)
#include "tst_appcast.moc"
