#include "awakesettings.h"
#include "defaultsstore.h"
#include "localisation.h"
#include "statusitemcontroller.h"

#include <QMenu>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTest>

class TestStatusItem : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() { DefaultsStore::clear(); }

    void enablingTwiceKeepsOneItemWithTheNewMenu();
    void disabledControllerKeepsTheStateForTheNextItem();
    void appearanceFollowsStateAndColour_data();
    void appearanceFollowsStateAndColour();
    void tooltipNamesTheIconAndShowsTheStatus();
};

void TestStatusItem::enablingTwiceKeepsOneItemWithTheNewMenu()
{
    StatusItemController controller;
    QVERIFY(!controller.isEnabled());
    QPointer<QMenu> first = new QMenu;
    first->addAction(QStringLiteral("Keep Awake"));
    controller.enable(first);
    QSystemTrayIcon *item = controller.trayIcon();
    QVERIFY(item);
    QMenu *shown = item->contextMenu();
    QCOMPARE(shown->actions(), first->actions());
    auto *second = new QMenu;
    second->addAction(QStringLiteral("Allow Sleep"));
    second->addSeparator();
    controller.enable(second);
    QCOMPARE(controller.trayIcon(), item);
    QCOMPARE(controller.menu(), second);
    // The tray keeps one menu object (panels may still be talking to it); only its items change.
    QCOMPARE(item->contextMenu(), shown);
    QCOMPARE(shown->actions(), second->actions());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(first.isNull());
}

// While disabled the controller only stores the state; the next item is drawn in it.
void TestStatusItem::disabledControllerKeepsTheStateForTheNextItem()
{
    StatusItemController controller;
    controller.disable();
    controller.setActive(true);
    QVERIFY(!controller.isEnabled());
    QVERIFY(controller.isActive());
    QVERIFY(!controller.trayIcon());
    controller.enable(new QMenu);
    controller.disable();
    QVERIFY(!controller.isEnabled());
    controller.enable(new QMenu);
    QVERIFY(controller.appearance().filled);
    QVERIFY(!controller.trayIcon()->icon().isNull());
}

void TestStatusItem::appearanceFollowsStateAndColour_data()
{
    QTest::addColumn<bool>("active");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<bool>("filled");
    QTest::addColumn<QString>("tint");
    const QVariant absent;
    QTest::newRow("active, no colour stored") << true << absent << true << "#7c3aed";
    QTest::newRow("active, system colour") << true << QVariant(QString()) << true << QString();
    QTest::newRow("active, unparsable")
        << true << QVariant(QStringLiteral("#12")) << true << QString();
    QTest::newRow("active, green")
        << true << QVariant(QStringLiteral("#22C55E")) << true << "#22c55e";
    QTest::newRow("inactive, green")
        << false << QVariant(QStringLiteral("#22C55E")) << false << QString();
    QTest::newRow("inactive, nothing") << false << absent << false << QString();
}

void TestStatusItem::appearanceFollowsStateAndColour()
{
    QFETCH(bool, active);
    QFETCH(QVariant, stored);
    QFETCH(bool, filled);
    QFETCH(QString, tint);
    if (stored.isValid())
        DefaultsStore::setValue(QStringLiteral("VLStatusColor"), stored);
    StatusItemController controller;
    controller.enable(new QMenu);
    controller.setActive(active);
    const StatusItemController::Appearance look = controller.appearance();
    QCOMPARE(look.filled, filled);
    QCOMPARE(look.tint.has_value(), !tint.isEmpty());
    if (look.tint)
        QCOMPARE(look.tint->name(), tint);

    // The drawn icon carries the tint in its pixels.
    const QImage image = controller.trayIcon()->icon().pixmap(QSize(22, 22)).toImage();
    QVERIFY(!image.isNull());
    bool tintFound = false;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            tintFound |= qAlpha(image.pixel(x, y)) == 255 && look.tint
                && QColor(image.pixel(x, y)).name() == tint;
    QCOMPARE(tintFound, look.tint.has_value());
}

void TestStatusItem::tooltipNamesTheIconAndShowsTheStatus()
{
    StatusItemController controller;
    controller.enable(new QMenu);
    const QString name = L(QStringLiteral("accessibility.status_icon"));
    QCOMPARE(controller.trayIcon()->toolTip(), name);
    controller.setStatusText(QStringLiteral("25 min left"));
    QCOMPARE(controller.trayIcon()->toolTip(), name + QStringLiteral("\n25 min left"));
}

QTEST_MAIN(TestStatusItem)
#include "tst_statusitem.moc"
