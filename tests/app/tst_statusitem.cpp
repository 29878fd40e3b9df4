// SPDX-License-Identifier: MIT
#include "defaultsstore.h"
#include "localisation.h"
#include "settingkeys.h"
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
    void enablingAgainKeepsOneItemAndItsMenu();
    void appearanceFollowsStateAndColour_data();
    void appearanceFollowsStateAndColour();
};

// Panels may still talk to the tray's menu: it stays, its items change, the old menu goes later.
void TestStatusItem::enablingAgainKeepsOneItemAndItsMenu()
{
    StatusItemController controller;
    const QPointer<QMenu> first = new QMenu;
    controller.enable(first);
    QSystemTrayIcon *item = controller.trayIcon();
    QMenu *shown = item->contextMenu();
    auto *second = new QMenu;
    second->addAction(QStringLiteral("Allow Sleep"));
    controller.enable(second);
    QVERIFY(controller.trayIcon() == item && item->contextMenu() == shown && first);
    QCOMPARE(shown->actions(), second->actions());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(first.isNull());
    controller.setStatusText(QStringLiteral("25 min left"));
    QCOMPARE(item->toolTip(), L(QStringLiteral("accessibility.status_icon")) + "\n25 min left");
}

void TestStatusItem::appearanceFollowsStateAndColour_data()
{
    QTest::addColumn<bool>("active");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("tint"); // none: the panel's text colour
    QTest::newRow("active, no colour stored") << true << QVariant() << "#7c3aed";
    QTest::newRow("active, system colour") << true << QVariant(QString()) << QString();
    QTest::newRow("active, green") << true << QVariant("#22C55E") << "#22c55e";
    QTest::newRow("inactive, green") << false << QVariant("#22C55E") << QString();
}

// Running draws the filled cup in the chosen colour; otherwise the outline in the panel's.
void TestStatusItem::appearanceFollowsStateAndColour()
{
    QFETCH(bool, active);
    QFETCH(QVariant, stored);
    QFETCH(QString, tint);
    if (stored.isValid())
        DefaultsStore::setValue(SettingKeys::statusColor.key(), stored);
    StatusItemController controller;
    controller.enable(new QMenu);
    controller.setActive(active);
    const StatusItemController::Appearance look = controller.appearance();
    QCOMPARE(look.filled, active);
    QCOMPARE(look.tint ? look.tint->name() : QString(), tint);
    const QImage image = controller.trayIcon()->icon().pixmap(QSize(22, 22)).toImage();
    int opaque = 0, tinted = 0;
    for (int i = 0; i < image.width() * image.height(); ++i) {
        const QRgb pixel = image.pixel(i % image.width(), i / image.width());
        opaque += qAlpha(pixel) == 255;
        tinted += qAlpha(pixel) == 255 && QColor(pixel).name() == tint;
    }
    QCOMPARE(tinted > 0, !tint.isEmpty());
    QCOMPARE(opaque > 22 * 22 / 8, active); // the filled cup covers more than the outline
}

QTEST_MAIN(TestStatusItem)
#include "tst_statusitem.moc"
