// SPDX-License-Identifier: MIT
#include "desktopidentity.h"
#include "launcherbadge.h"
#include "privatesessionbus.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QTest>

// The unread badge as a dock sees it, through a connection of the test's own on a private bus.
class TestLauncherBadge : public QObject
{
    Q_OBJECT

    const QString interface = QStringLiteral("com.canonical.Unity.LauncherEntry");
    PrivateSessionBus bus;
    QStringList seen;

    // The updates since the last call: a marker sent after the badge's signals on the same
    // connection comes after them, so nothing sent before it is missed.
    QStringList takeUpdates()
    {
        QDBusMessage marker = QDBusMessage::createSignal(QStringLiteral("/marker"), interface,
                                                         QStringLiteral("Update"));
        QDBusConnection::sessionBus().send(marker << QString() << QVariantMap());
        static_cast<void>(
            QTest::qWaitFor([this] { return seen.contains(QStringLiteral("/marker")); }, 5000));
        return std::exchange(seen, {});
    }

public slots:
    // Each update as the types and values of its count and count-visible; one that does not
    // name this program at a launcher entry path reads as its path, so that comparisons fail.
    void updated(const QDBusMessage &message)
    {
        const QVariantMap properties = qdbus_cast<QVariantMap>(message.arguments().value(1));
        const QVariant count = properties.value(QStringLiteral("count"));
        const QVariant visible = properties.value(QStringLiteral("count-visible"));
        const bool ours = message.path().startsWith(u"/com/canonical/unity/launcherentry/")
            && message.arguments().value(0)
                == QStringLiteral("application://app.plenox.Veluna.desktop");
        seen << (ours ? QStringLiteral("%1 %2 %3 %4")
                            .arg(QString::fromLatin1(count.typeName()), count.toString(),
                                 QString::fromLatin1(visible.typeName()), visible.toString())
                      : message.path());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(bus.start());
        QVERIFY(bus.connection().connect({}, {}, interface, QStringLiteral("Update"), this,
                                         SLOT(updated(QDBusMessage))));
    }

    // The first state is announced even when it is no badge, so one left by an earlier run goes.
    void onlyChangesGoOverTheBus()
    {
        const auto badge
            = LauncherBadge::createPlatformDefault(QString::fromLatin1(DesktopIdentity::desktopId));
        const QString hidden = QStringLiteral("qlonglong 0 bool false");
        const QString one = QStringLiteral("qlonglong 1 bool true");
        const QString marker = QStringLiteral("/marker"); // all that came before it went
        badge->setCount(std::nullopt);
        QCOMPARE(takeUpdates(), (QStringList { hidden, marker }));
        badge->setCount(1);
        badge->setCount(1);
        QCOMPARE(takeUpdates(), (QStringList { one, marker }));
        badge->setCount(std::nullopt);
        badge->setCount(1);
        QCOMPARE(takeUpdates(), (QStringList { hidden, one, marker }));
    }
};

QTEST_GUILESS_MAIN(TestLauncherBadge)
#include "tst_launcherbadge.moc"
