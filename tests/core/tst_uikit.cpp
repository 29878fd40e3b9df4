// SPDX-License-Identifier: MIT
#include "badgeimageview.h"
#include "flippedview.h"
#include "uikit.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

class TestUiKit : public QObject
{
    Q_OBJECT

private slots:
    // The unread badge sits on the Messages button and must let clicks through to it.
    void badgePassesClicksToTheButtonBeneath()
    {
        FlippedView window;
        window.resize(100, 100);
        auto *button = new QPushButton(QStringLiteral("Messages"), &window);
        button->setGeometry(10, 10, 60, 40);
        auto *badge = new BadgeImageView(&window);
        badge->setPixmap(QPixmap::fromImage(UiKit::quotaBadgeImage(1, 14)));
        badge->setGeometry(20, 15, 14, 14);
        badge->raise();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy clicked(button, &QPushButton::clicked);
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, QPoint(27, 22));
        QCOMPARE(clicked.size(), 1);
    }
};

QTEST_MAIN(TestUiKit)
#include "tst_uikit.moc"
