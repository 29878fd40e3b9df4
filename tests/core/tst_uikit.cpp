// SPDX-License-Identifier: MIT
#include "badgeimageview.h"
#include "flippedview.h"
#include "symbolicon.h"
#include "twodigitformatter.h"
#include "uikit.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

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

    // Panels pick the tray icon from the sizes offered; one they scale to is drawn all the same.
    void symbolsAreDrawnInTheirColourAtAnySize()
    {
        const QColor red(220, 20, 30);
        const QIcon cup = SymbolIcon::make(QStringLiteral(":/icons/cup-filled.svg"), red);
        QVERIFY(cup.availableSizes().contains(QSize(22, 22)));
        const QImage image = cup.pixmap(QSize(37, 37)).toImage();
        QCOMPARE(image.size(), QSize(37, 37));
        int opaque = 0;
        for (int y = 0; y < 37; ++y) {
            for (int x = 0; x < 37; ++x) {
                if (image.pixelColor(x, y).alpha() == 255 && ++opaque)
                    QCOMPARE(image.pixelColor(x, y).rgb(), red.rgb());
            }
        }
        QVERIFY2(opaque > 37, "the symbol is not drawn");
    }

    void formatterTakesAtMostTwoAsciiDigitsUpToTheMaximum()
    {
        const auto accepts = [](int maximum, QString text) {
            int position = int(text.size());
            return TwoDigitFormatter(maximum).validate(text, position) == QValidator::Acceptable;
        };
        for (const QString &text : { u""_s, u"59"_s })
            QVERIFY2(accepts(59, text), qPrintable(text));
        // An Arabic-Indic three is a number, but not one a field can read.
        for (const QString &text : { u"60"_s, u"123"_s, u"\u0663"_s })
            QVERIFY2(!accepts(59, text), qPrintable(text));
    }
};

QTEST_MAIN(TestUiKit)
#include "tst_uikit.moc"
