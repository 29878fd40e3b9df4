#include "badgeimageview.h"
#include "flippedview.h"
#include "symbolicon.h"
#include "twodigitformatter.h"
#include "uikit.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {
QPalette paletteWithWindow(const QColor &window)
{
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::Window, window);
    return palette;
}
} // namespace

class TestUiKit : public QObject
{
    Q_OBJECT

private slots:
    void dynamicColoursFollowThePalette()
    {
        const QPalette dark = paletteWithWindow(QColor(30, 30, 30));
        const QPalette light = paletteWithWindow(QColor(240, 240, 240));
        // Each brand colour has a lighter variant that stays readable on dark windows.
        for (const DynamicColor &color : { UiKit::plenoxMauve(), UiKit::awakeAmber() })
            QVERIFY(color.resolve(dark).lightnessF() > color.resolve(light).lightnessF() + 0.1);
        const DynamicColor text = DynamicColor::paletteRole(QPalette::WindowText);
        QCOMPARE(text.resolve(dark), dark.color(QPalette::WindowText));

        // A label made by the kit takes the colour of its window's palette, and follows it.
        QWidget parent;
        QLabel *label
            = UiKit::makeLabel(QStringLiteral("Veluna"), 24, QFont::Bold, UiKit::awakeAmber());
        label->setParent(&parent);
        QCOMPARE(label->alignment(), Qt::AlignCenter);
        QCOMPARE(label->textInteractionFlags(), Qt::NoTextInteraction);
        QCOMPARE(label->font().pixelSize(), 24);
        QCOMPARE(label->font().weight(), QFont::Bold);
        for (const QPalette &palette : { light, dark, light }) {
            parent.setPalette(palette);
            QCOMPARE(label->palette().color(QPalette::WindowText),
                     UiKit::awakeAmber().resolve(palette));
            QCOMPARE(UiKit::plenoxMauve().resolve(&parent), UiKit::plenoxMauve().resolve(palette));
        }
    }

    void badgeIsARedDiscWithTheCountInWhite()
    {
        const QImage badge = UiKit::quotaBadgeImage(1, 14);
        QCOMPARE(badge.size(), QSize(14, 14));
        QCOMPARE(qAlpha(badge.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(badge.pixel(13, 13)), 0);
        const QRgb edge = badge.pixel(7, 1);
        QVERIFY(qRed(edge) > 200 && qGreen(edge) < 100 && qBlue(edge) < 100);
        int white = 0;
        for (int y = 0; y < 14; ++y)
            for (int x = 0; x < 14; ++x)
                white += qGreen(badge.pixel(x, y)) > 200 ? 1 : 0;
        QVERIFY2(white >= 3, "the count is not drawn");

        // Counts below 2 all read "1".
        QCOMPARE(UiKit::quotaBadgeImage(0, 14), badge);
        QCOMPARE(UiKit::quotaBadgeImage(-3, 14), badge);
        QVERIFY(UiKit::quotaBadgeImage(12, 14) != badge);
        QVERIFY(UiKit::quotaBadgeImage(12, 14) != UiKit::quotaBadgeImage(2, 14));

        const QImage sharp = UiKit::quotaBadgeImage(1, 14, 2.0);
        QCOMPARE(sharp.size(), QSize(28, 28));
        QCOMPARE(sharp.devicePixelRatio(), 2.0);
    }

    void clickOnBadgePassesToTheButtonBeneath()
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
        QCOMPARE(window.childAt(27, 22), button);
    }

    void artworkIsDrawnAtTheSizeAsked()
    {
        const QImage mark = UiKit::plenoxMark();
        QCOMPARE(mark.size(), QSize(120, 120));
        QCOMPARE(qAlpha(mark.pixel(0, 0)), 0);

        QCOMPARE(UiKit::applicationIcon().availableSizes().size(), 4);
        QCOMPARE(UiKit::applicationIcon().pixmap(QSize(32, 32)).size(), QSize(32, 32));
        const QPixmap picture = UiKit::applicationPicture(1.0);
        QCOMPARE(picture.size(), QSize(92, 92));
        const QPixmap sharpPicture = UiKit::applicationPicture(2.0);
        QCOMPARE(sharpPicture.size(), QSize(184, 184));
        QCOMPARE(sharpPicture.deviceIndependentSize(), QSizeF(92, 92));
        QVERIFY(picture.toImage().pixelColor(46, 46).alpha() > 0);
    }

    void symbolsAreDrawnInTheirColourAtAnySize()
    {
        const QColor red(220, 20, 30);
        const QIcon cup = SymbolIcon::make(QStringLiteral(":/icons/cup-filled.svg"), red);
        QVERIFY(!cup.isNull());
        // Panels pick from the sizes an icon says it has.
        QVERIFY(cup.availableSizes().contains(QSize(22, 22)));
        for (int side : { 16, 22, 37, 64 }) {
            const QImage image = cup.pixmap(QSize(side, side)).toImage();
            QCOMPARE(image.size(), QSize(side, side));
            int opaque = 0;
            for (int y = 0; y < side; ++y) {
                for (int x = 0; x < side; ++x) {
                    const QColor pixel = image.pixelColor(x, y);
                    if (pixel.alpha() == 255) {
                        ++opaque;
                        QCOMPARE(pixel.rgb(), red.rgb());
                    }
                }
            }
            QVERIFY2(opaque > side, "the symbol is not drawn");
            QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        }
        QVERIFY(SymbolIcon::make(QStringLiteral(":/icons/no-such.svg"), red).isNull());
    }

    void formatterAcceptance_data()
    {
        QTest::addColumn<int>("maximum");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        for (const QString text : { "", "0", "5", "05", "59" })
            QTest::addRow("59 accepts '%s'", qPrintable(text)) << 59 << text << true;
        for (const QString text : { "60", "99", "123", "5a", "-1", "+5", " 5" })
            QTest::addRow("59 refuses '%s'", qPrintable(text)) << 59 << text << false;
        QTest::newRow("99 accepts 99") << 99 << QStringLiteral("99") << true;
        QTest::newRow("99 refuses 100") << 99 << QStringLiteral("100") << false;
        QTest::newRow("Arabic-Indic three") << 99 << QStringLiteral("\u0663") << false;
        QTest::newRow("fraction sign") << 99 << QStringLiteral("\u00BD") << false;
        QTest::newRow("full-width digits") << 99 << QStringLiteral("\uFF11\uFF12") << false;
    }
    void formatterAcceptance()
    {
        QFETCH(int, maximum);
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        TwoDigitFormatter formatter(maximum);
        int position = int(text.size());
        QCOMPARE(formatter.validate(text, position),
                 accepted ? QValidator::Acceptable : QValidator::Invalid);
    }
};

QTEST_MAIN(TestUiKit)
#include "tst_uikit.moc"
