// SPDX-License-Identifier: MIT
#include "adminfixture.h"
#include "appcast.h"
#include "updatefeed.h"

#include <QFile>
#include <QTest>

// The feed the server serves, made from releases published with veluna-admin, read by the
// app's own parser.
class TestUpdateFeed : public QObject
{
    Q_OBJECT

private slots:
    void publishedReleasesReachTheApp();
    void unreadableReleasesGiveNoFeed();
};

void TestUpdateFeed::publishedReleasesReachTheApp()
{
    AdminFixture fixture;
    QVERIFY(fixture.isReady());
    QVERIFY(UpdateFeed::render(fixture.db())); // nothing published yet: a valid, empty feed
    QVERIFY(!Appcast::parse(*UpdateFeed::render(fixture.db()))->newest());
    QFile file(fixture.path(QStringLiteral("veluna.AppImage")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("veluna\n") == 7);
    file.close();
    // Notes with characters XML must escape; the higher version published first.
    for (const char *version : { "1.10.0", "1.9.0" })
        QCOMPARE(fixture
                     .admin({ "publish", version, "--url",
                              QStringLiteral("https://plenox.app/v/%1.AppImage").arg(version),
                              "--file", file.fileName(), "--notes", "Faster & safer: 2 < 3 > 1" })
                     .status,
                 0);
    const std::optional<QByteArray> xml = UpdateFeed::render(fixture.db());
    QVERIFY(xml);
    const std::optional<Appcast> feed = Appcast::parse(*xml);
    QVERIFY2(feed, xml->constData());
    QCOMPARE(feed->items().size(), 2);
    const Appcast::Item newest = *feed->newest();
    QCOMPARE(newest.version, QStringLiteral("1.10.0"));
    QVERIFY(newest.hasVerifiableFile());
    QCOMPARE(newest.fileUrl, QUrl(QStringLiteral("https://plenox.app/v/1.10.0.AppImage")));
    QCOMPARE(newest.fileLength, 7);
    QCOMPARE(newest.fileSha256.toHex(),
             QByteArray("3456dc7c1ca4ab1ae586a815d1b162001a4776bdd0cc461c4cf9a704063bee16"));
    QCOMPARE(newest.releaseNotes, QStringLiteral("Faster & safer: 2 < 3 > 1"));
}

void TestUpdateFeed::unreadableReleasesGiveNoFeed()
{
    AdminFixture fixture;
    QVERIFY(fixture.isReady());
    QVERIFY(fixture.exec(QStringLiteral("DROP TABLE releases")));
    QVERIFY(!UpdateFeed::render(fixture.db()));
}

QTEST_GUILESS_MAIN(TestUpdateFeed)
#include "tst_updatefeed.moc"
