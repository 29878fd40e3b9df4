#include "appcast.h"
#include "htmltext.h"

#include <QTest>

namespace {
const QByteArray digest = QByteArray(32, '\xab');

QByteArray feed(const QByteArray &items)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<rss version=\"2.0\" xmlns:vl=\"https://plenox.app/xmlns/appcast\">\n"
           "<channel><title>Veluna</title><link>https://plenox.app</link>\n"
        + items + "</channel></rss>\n";
}

QByteArray item(const QByteArray &version, const QByteArray &extra = {})
{
    return "<item><title>Veluna " + version
        + "</title>"
          "<pubDate>Tue, 01 Dec 2026 10:00:00 +0000</pubDate>"
          "<vl:version>"
        + version + "</vl:version>" + extra + "</item>\n";
}
} // namespace

class TestAppcast : public QObject
{
    Q_OBJECT

private slots:
    void readsAFullItem();
    void newestIsTheHighestVersionWhateverTheOrder();
    void versionMustBeInOurNamespace();
    void unusableFeedsAreRefused_data();
    void unusableFeedsAreRefused();
    void emptyChannelIsAValidFeed();
    void insecureAddressesAreDropped();
    void fileIsVerifiableOnlyWithSizeAndDigest_data();
    void fileIsVerifiableOnlyWithSizeAndDigest();
    void releaseNotesBecomePlainText_data();
    void releaseNotesBecomePlainText();
};

void TestAppcast::readsAFullItem()
{
    const auto parsed = Appcast::parse(feed(
        item("1.2.0",
             "<link>https://plenox.app/veluna/download</link>"
             "<description><![CDATA[<p>Faster <b>start</b>.</p><ul><li>One</li><li>Two</li></ul>]]>"
             "</description>"
             "<enclosure url=\"https://plenox.app/veluna/Veluna-1.2.0.AppImage\" length=\"123456\" "
             "type=\"application/octet-stream\" vl:sha256=\""
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
}

void TestAppcast::versionMustBeInOurNamespace()
{
    const QByteArray foreign = "<item><other:version xmlns:other=\"urn:other\">9.0</other:version>"
                               "<version>9.0</version></item>";
    QVERIFY(!Appcast::parse(feed(foreign)));
    const auto parsed = Appcast::parse(feed(foreign + item("1.1")));
    QCOMPARE(parsed->newest()->version, QStringLiteral("1.1"));
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

void TestAppcast::emptyChannelIsAValidFeed()
{
    const auto parsed = Appcast::parse(feed({}));
    QVERIFY(parsed);
    QVERIFY(!parsed->newest());
}

void TestAppcast::insecureAddressesAreDropped()
{
    const auto parsed = Appcast::parse(
        feed(item("2.0",
                  "<link>http://plenox.app/veluna/download</link>"
                  "<enclosure url=\"ftp://plenox.app/Veluna.AppImage\" length=\"10\" vl:sha256=\""
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
    const QByteArray hash = "vl:sha256=\"" + digest.toHex() + "\" ";
    QTest::newRow("complete") << url + "length=\"5\" " + hash << true;
    QTest::newRow("no length") << url + hash << false;
    QTest::newRow("zero length") << url + "length=\"0\" " + hash << false;
    QTest::newRow("negative length") << url + "length=\"-5\" " + hash << false;
    QTest::newRow("no digest") << url + "length=\"5\"" << false;
    QTest::newRow("short digest") << url + "length=\"5\" vl:sha256=\"abcd\"" << false;
    QTest::newRow("digest not hex")
        << url + "length=\"5\" vl:sha256=\"" + QByteArray(64, 'z') + "\"" << false;
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
    QTest::newRow("plain text keeps its lines") << "Fixes:\n- one\n- two\n"
                                                << "Fixes:\n- one\n- two";
    QTest::newRow("tags stripped") << "<b>x</b> and <a href=\"https://evil.example\">y</a>"
                                   << "x and y";
    QTest::newRow("images vanish") << "<p>a<img src=\"https://tracker.example/p.png\">b</p>"
                                   << "ab";
    QTest::newRow("escaped markup stays literal") << "<p>&lt;b&gt;x&lt;/b&gt; &amp; &#65;&#x42;</p>"
                                                  << "<b>x</b> & AB";
    QTest::newRow("scripts and styles dropped with content")
        << "<style>p{}</style><p>ok</p><script>alert(1)</script><!-- note -->"
        << "ok";
    QTest::newRow("source line breaks are spaces") << "<p>one\n  two</p>\n\n\n<p>three<br/>four</p>"
                                                   << "one two\nthree\nfour";
    QTest::newRow("unknown and broken references kept") << "<i>&bogus; &#0; &#xD800;</i>"
                                                        << "&bogus; &#0; &#xD800;";
}

void TestAppcast::releaseNotesBecomePlainText()
{
    QFETCH(QString, html);
    QFETCH(QString, text);
    QCOMPARE(HtmlText::toPlainText(html), text);
}

QTEST_APPLESS_MAIN(TestAppcast)
#include "tst_appcast.moc"
