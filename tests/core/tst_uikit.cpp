#include "badgeimageview.h"
#include "flippedview.h"
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

bool nearly(const QColor &color, double red, double green, double blue)
{
    return qAbs(color.redF() - red) < 0.003 && qAbs(color.greenF() - green) < 0.003
        && qAbs(color.blueF() - blue) < 0.003;
}
} // namespace

class TestUiKit : public QObject
{
    Q_OBJECT

private slots:
    void dynamicColoursFollowThePalette();
    void fixedColoursAreTheBrandHexes();
    void labelsAreCentredReadOnlyAndFollowThemeChanges();
    void badgeShowsOneForSmallCounts();
    void badgeIsARedDiscWithWhiteText();
    void badgeFontScalesWithDiameter();
    void clickOnBadgePassesToTheButtonBeneath();
    void markIsThe120PixelArtwork();
    void formatterAcceptance_data();
    void formatterAcceptance();
};

void TestUiKit::dynamicColoursFollowThePalette()
{
    const QPalette dark = paletteWithWindow(QColor(30, 30, 30));
    const QPalette light = paletteWithWindow(QColor(240, 240, 240));
    const DynamicColor mauve = UiKit::plenoxMauve();
    QVERIFY(nearly(mauve.resolve(dark), 0.686, 0.573, 0.992));
    QVERIFY(nearly(mauve.resolve(light), 0.486, 0.227, 0.929));
    QVERIFY(nearly(UiKit::awakeAmber().resolve(dark), 0.984, 0.749, 0.141));
    QVERIFY(nearly(UiKit::awakeAmber().resolve(light), 0.851, 0.467, 0.024));

    QWidget widget;
    widget.setPalette(light);
    QVERIFY(nearly(mauve.resolve(&widget), 0.486, 0.227, 0.929));
    widget.setPalette(dark);
    QVERIFY(nearly(mauve.resolve(&widget), 0.686, 0.573, 0.992));

    const DynamicColor text = DynamicColor::paletteRole(QPalette::WindowText);
    QCOMPARE(text.resolve(dark), dark.color(QPalette::WindowText));
}

void TestUiKit::fixedColoursAreTheBrandHexes()
{
    QCOMPARE(UiKit::plenoxMauveFixed.name(), QStringLiteral("#7c3aed"));
    QCOMPARE(UiKit::awakeAmberFixed.name(), QStringLiteral("#f59e0b"));
    // The fixed amber is not the light variant of the dynamic one.
    QVERIFY(UiKit::awakeAmber().resolve(paletteWithWindow(Qt::white)) != UiKit::awakeAmberFixed);
}

void TestUiKit::labelsAreCentredReadOnlyAndFollowThemeChanges()
{
    QWidget parent;
    parent.setPalette(paletteWithWindow(Qt::white));
    QLabel *label
        = UiKit::makeLabel(QStringLiteral("Veluna"), 24, QFont::Bold, UiKit::awakeAmber());
    label->setParent(&parent);
    QCOMPARE(label->alignment(), Qt::AlignCenter);
    QCOMPARE(label->textInteractionFlags(), Qt::NoTextInteraction);
    QCOMPARE(label->font().pixelSize(), 24);
    QCOMPARE(label->font().weight(), QFont::Bold);
    QVERIFY(nearly(label->palette().color(QPalette::WindowText), 0.851, 0.467, 0.024));

    parent.setPalette(paletteWithWindow(QColor(20, 20, 20)));
    QVERIFY(nearly(label->palette().color(QPalette::WindowText), 0.984, 0.749, 0.141));
}

void TestUiKit::badgeShowsOneForSmallCounts()
{
    const QImage one = UiKit::quotaBadgeImage(1, 14);
    QCOMPARE(UiKit::quotaBadgeImage(0, 14), one);
    QCOMPARE(UiKit::quotaBadgeImage(-3, 14), one);
    QVERIFY(UiKit::quotaBadgeImage(12, 14) != one);
    QVERIFY(UiKit::quotaBadgeImage(12, 14) != UiKit::quotaBadgeImage(2, 14));
}

void TestUiKit::badgeIsARedDiscWithWhiteText()
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

    const QImage sharp = UiKit::quotaBadgeImage(1, 14, 2.0);
    QCOMPARE(sharp.size(), QSize(28, 28));
    QCOMPARE(sharp.devicePixelRatio(), 2.0);
}

void TestUiKit::badgeFontScalesWithDiameter()
{
    QCOMPARE(UiKit::quotaBadgeFont(14).pointSizeF(), 9.52);
    QVERIFY(UiKit::quotaBadgeFont(14).bold());
    QCOMPARE(UiKit::quotaBadgeFont(13).pointSizeF(), 0.68 * 13);
}

void TestUiKit::clickOnBadgePassesToTheButtonBeneath()
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

void TestUiKit::markIsThe120PixelArtwork()
{
    const QImage mark = UiKit::plenoxMark();
    QVERIFY(!mark.isNull());
    QCOMPARE(mark.size(), QSize(120, 120));
    QVERIFY(mark.hasAlphaChannel());
    QCOMPARE(qAlpha(mark.pixel(0, 0)), 0);
}

void TestUiKit::formatterAcceptance_data()
{
    QTest::addColumn<int>("maximum");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    const QStringList accepted59 { "", "0", "5", "05", "59" };
    for (const QString &text : accepted59)
        QTest::addRow("59 accepts '%s'", qPrintable(text)) << 59 << text << true;
    const QStringList refused59 { "60", "99", "123", "5a", "-1", "+5", " 5" };
    for (const QString &text : refused59)
        QTest::addRow("59 refuses '%s'", qPrintable(text)) << 59 << text << false;
    QTest::newRow("99 accepts 99") << 99 << QStringLiteral("99") << true;
    QTest::newRow("99 refuses 100") << 99 << QStringLiteral("100") << false;
    QTest::newRow("Arabic-Indic three") << 99 << QStringLiteral("\u0663") << false;
    QTest::newRow("fraction sign") << 99 << QStringLiteral("\u00BD") << false;
    QTest::newRow("full-width digits") << 99 << QStringLiteral("\uFF11\uFF12") << false;
}

void TestUiKit::formatterAcceptance()
{
    QFETCH(int, maximum);
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    TwoDigitFormatter formatter(maximum);
    int position = int(text.size());
    QCOMPARE(formatter.validate(text, position),
             accepted ? QValidator::Acceptable : QValidator::Invalid);
}

QTEST_MAIN(TestUiKit)
#include "tst_uikit.moc"
