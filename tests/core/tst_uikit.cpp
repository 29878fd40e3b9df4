// SPDX-License-Identifier: MIT
#include "badgeimageview.h"
#include "flippedview.h"
#include "symbolbutton.h"
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
    // The unread badge is a red disc with the count in white, and lets clicks through.
    void badgePassesClicksToTheButtonBeneath()
    {
        const QImage image = UiKit::quotaBadgeImage(1, 14);
        const QRgb edge = image.pixel(7, 1);
        QVERIFY(qRed(edge) > 200 && qGreen(edge) < 100 && qBlue(edge) < 100);
        int white = 0;
        for (int y = 0; y < 14; ++y)
            for (int x = 0; x < 14; ++x)
                white += qGreen(image.pixel(x, y)) > 200 ? 1 : 0;
        QVERIFY2(white >= 3, "the count is not drawn");

        FlippedView window;
        window.resize(100, 100);
        auto *button = new QPushButton(QStringLiteral("Messages"), &window);
        button->setGeometry(10, 10, 60, 40);
        auto *badge = new BadgeImageView(&window);
        badge->setPixmap(QPixmap::fromImage(image));
        badge->setGeometry(20, 15, 14, 14);
        badge->raise();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy clicked(button, &QPushButton::clicked);
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, QPoint(27, 22));
        QCOMPARE(clicked.size(), 1);
    }

    void symbolsAreDrawnInTheirColourAtAnySize()
    {
        const QColor red(220, 20, 30);
        const QIcon cup = SymbolIcon::make(QStringLiteral(":/icons/cup-filled.svg"), red);
        QVERIFY(cup.availableSizes().contains(QSize(22, 22))); // panels pick from these
        for (int side : { 16, 37 }) {
            const QImage image = cup.pixmap(QSize(side, side)).toImage();
            QCOMPARE(image.size(), QSize(side, side));
            int opaque = 0;
            for (int y = 0; y < side; ++y) {
                for (int x = 0; x < side; ++x) {
                    if (image.pixelColor(x, y).alpha() == 255) {
                        ++opaque;
                        QCOMPARE(image.pixelColor(x, y).rgb(), red.rgb());
                    }
                }
            }
            QVERIFY2(opaque > side, "the symbol is not drawn");
        }
    }

    // Symbol buttons blend the text and window colours of the widget they sit on, and follow it.
    void symbolButtonFollowsTheWindowAround()
    {
        QWidget window;
        auto *gear
            = new SymbolButton(QStringLiteral(":/icons/gear.svg"), 16, u"Settings"_s, &window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto drawnGrey = [gear] {
            const QImage image = gear->icon().pixmap(QSize(20, 20)).toImage();
            return qGray(image.pixel(10, 3));
        };
        QPalette palette = window.palette();
        palette.setColor(QPalette::Window, QColor(240, 240, 240));
        palette.setColor(QPalette::WindowText, Qt::black);
        window.setPalette(palette);
        QVERIFY2(drawnGrey() > 60 && drawnGrey() < 130, "a mid grey on a light window");
        palette.setColor(QPalette::Window, QColor(30, 30, 30));
        palette.setColor(QPalette::WindowText, Qt::white);
        window.setPalette(palette);
        QVERIFY2(drawnGrey() > 140 && drawnGrey() < 200, "a light grey on a dark window");
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
