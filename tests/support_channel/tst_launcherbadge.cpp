#include "desktopidentity.h"
#include "launcherbadge.h"
#include "launcherentrymonitor.h"
#include "privatesessionbus.h"

#include <QTest>

using Update = LauncherEntryMonitor::Update;

// The unread badge as a dock sees it on the session bus: which signal, naming which program,
// with which properties, and only when something changed.
class TestLauncherBadge : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void firstUseAnnouncesEvenAHiddenBadge();
    void unreadShowsACountOfOne();
    void onlyChangesAreSent();
    void everyBadgeOfTheProgramUsesTheSamePath();

private:
    std::unique_ptr<LauncherBadge> makeBadge() const;

    PrivateSessionBus bus;
    LauncherEntryMonitor monitor;
};

namespace {
const QString appUri = QStringLiteral("application://app.plenox.Veluna.desktop");
const QString pathPrefix = QStringLiteral("/com/canonical/unity/launcherentry/");

QList<std::optional<qint64>> visibleCounts(const QList<Update> &updates)
{
    QList<std::optional<qint64>> counts;
    for (const Update &update : updates)
        counts << (update.countVisible.value_or(false) ? update.count : std::nullopt);
    return counts;
}
} // namespace

void TestLauncherBadge::initTestCase()
{
    QVERIFY(bus.start());
    QVERIFY(monitor.start(bus.address()));
}

std::unique_ptr<LauncherBadge> TestLauncherBadge::makeBadge() const
{
    return LauncherBadge::createPlatformDefault(QString::fromLatin1(DesktopIdentity::desktopId));
}

void TestLauncherBadge::firstUseAnnouncesEvenAHiddenBadge()
{
    const auto badge = makeBadge();
    badge->setCount(std::nullopt);
    const auto updates = monitor.takeUpdates();
    QVERIFY(updates);
    QCOMPARE(updates->size(), 1);
    QCOMPARE(updates->first().appUri, appUri);
    QVERIFY2(updates->first().path.startsWith(pathPrefix), qPrintable(updates->first().path));
    QCOMPARE(updates->first().countVisible, std::optional(false));
    QCOMPARE(updates->first().count, std::optional<qint64>(0));
    QCOMPARE(badge->count(), std::nullopt);
}

void TestLauncherBadge::unreadShowsACountOfOne()
{
    const auto badge = makeBadge();
    badge->setCount(1);
    const auto updates = monitor.takeUpdates();
    QVERIFY(updates);
    QCOMPARE(updates->size(), 1);
    QCOMPARE(updates->first().appUri, appUri);
    QCOMPARE(updates->first().count, std::optional<qint64>(1));
    QCOMPARE(updates->first().countVisible, std::optional(true));
    QCOMPARE(badge->count(), std::optional(1));
}

void TestLauncherBadge::onlyChangesAreSent()
{
    const auto badge = makeBadge();
    badge->setCount(1);
    badge->setCount(1);
    badge->setCount(std::nullopt);
    badge->setCount(std::nullopt);
    badge->setCount(1);
    badge->setCount(1);
    const auto updates = monitor.takeUpdates();
    QVERIFY(updates);
    const QList<std::optional<qint64>> expected { 1, std::nullopt, 1 };
    QCOMPARE(visibleCounts(*updates), expected);

    badge->setCount(1);
    const auto repeated = monitor.takeUpdates();
    QVERIFY(repeated);
    QCOMPARE(repeated->size(), 0);
}

void TestLauncherBadge::everyBadgeOfTheProgramUsesTheSamePath()
{
    makeBadge()->setCount(2);
    makeBadge()->setCount(3);
    const auto updates = monitor.takeUpdates();
    QVERIFY(updates);
    QCOMPARE(updates->size(), 2);
    QCOMPARE(updates->at(0).path, updates->at(1).path);
    QCOMPARE(updates->at(1).count, std::optional<qint64>(3));
}

QTEST_GUILESS_MAIN(TestLauncherBadge)
#include "tst_launcherbadge.moc"
