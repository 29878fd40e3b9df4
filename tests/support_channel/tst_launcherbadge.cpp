#include "desktopidentity.h"
#include "launcherbadge.h"
#include "privatesessionbus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <signal.h>
#include <sys/prctl.h>

// The unread badge as a dock sees it on the session bus, watched through dbus-monitor so that
// nothing of Qt's own view gets in between: which signal, naming which program, with which
// properties and types, and only when something changed.
class TestLauncherBadge : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void onlyChangesGoOverTheBus();

private:
    bool sendMarkerAndWait(int timeoutMs);
    QStringList takeUpdates();

    PrivateSessionBus bus;
    QProcess monitor;
    QString output;
    int markers = 0;
};

namespace {
const QString interface = QStringLiteral("com.canonical.Unity.LauncherEntry");
const QString appUri = QStringLiteral("application://app.plenox.Veluna.desktop");

QString captured(const QString &text, const char *pattern)
{
    return QRegularExpression(QString::fromLatin1(pattern)).match(text).captured(1);
}
} // namespace

void TestLauncherBadge::initTestCase()
{
    QVERIFY(bus.start());
    monitor.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    monitor.start(QStringLiteral("dbus-monitor"),
                  { QStringLiteral("--address"), bus.address(),
                    QStringLiteral("type='signal',interface='%1'").arg(interface) });
    QVERIFY(monitor.waitForStarted(5000));
    // The watch is in place once a marker comes back.
    const QDeadlineTimer deadline(10000);
    while (!sendMarkerAndWait(100))
        QVERIFY(!deadline.hasExpired());
    output.clear();
}

void TestLauncherBadge::cleanupTestCase()
{
    monitor.kill();
    monitor.waitForFinished(5000);
}

// Sent after the badge's signals on the same connection, so the bus keeps it behind them.
bool TestLauncherBadge::sendMarkerAndWait(int timeoutMs)
{
    const QString marker = QStringLiteral("\"marker:%1\"").arg(++markers);
    QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/marker"), interface,
                                                     QStringLiteral("Update"));
    signal << marker.mid(1, marker.size() - 2) << QVariantMap();
    QDBusConnection::sessionBus().send(signal);
    const QDeadlineTimer deadline(timeoutMs);
    while (!output.contains(marker) && !deadline.hasExpired()) {
        monitor.waitForReadyRead(10);
        output += QString::fromUtf8(monitor.readAllStandardOutput());
    }
    return output.contains(marker);
}

// The updates sent since the last call, each as the types and values of its count and
// count-visible ("int64 1 boolean true"); one that does not name this program at a launcher
// entry path comes whole, so that the comparison fails.
QStringList TestLauncherBadge::takeUpdates()
{
    if (!sendMarkerAndWait(5000))
        return { QStringLiteral("no marker") };
    QStringList updates;
    // dbus-monitor starts every message at the beginning of a line and indents its arguments.
    for (const QString &block : output.split(QRegularExpression(QStringLiteral("\\n(?=\\S)")))) {
        if (!block.contains(u"member=Update") || block.contains(u"marker:"))
            continue;
        const bool ours
            = captured(block, "path=([^;]+);").startsWith(u"/com/canonical/unity/launcherentry/")
            && captured(block, R"re(\n\s*string "([^"]*)")re") == appUri;
        const QString count = captured(block, R"("count"\s*variant\s+(\w+ -?\d+))");
        const QString visible = captured(block, R"("count-visible"\s*variant\s+(\w+ \w+))");
        updates << (ours ? count + u' ' + visible : block);
    }
    output.clear();
    return updates;
}

// The first state is announced even when it is no badge, so one left by an earlier run goes.
void TestLauncherBadge::onlyChangesGoOverTheBus()
{
    const auto badge
        = LauncherBadge::createPlatformDefault(QString::fromLatin1(DesktopIdentity::desktopId));
    const QString hidden = QStringLiteral("int64 0 boolean false");
    const QString one = QStringLiteral("int64 1 boolean true");
    badge->setCount(std::nullopt);
    QCOMPARE(takeUpdates(), QStringList { hidden });
    badge->setCount(1);
    badge->setCount(1);
    QCOMPARE(takeUpdates(), QStringList { one });
    badge->setCount(std::nullopt);
    badge->setCount(std::nullopt);
    badge->setCount(1);
    QCOMPARE(takeUpdates(), (QStringList { hidden, one }));
    badge->setCount(1);
    QCOMPARE(takeUpdates(), QStringList());
    QCOMPARE(badge->count(), std::optional(1));
}

QTEST_GUILESS_MAIN(TestLauncherBadge)
#include "tst_launcherbadge.moc"
