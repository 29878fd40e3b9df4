// SPDX-License-Identifier: MIT
#include "uikit.h"

#include "themedlabel.h"

#include <QApplication>
#include <QPainter>

#include <cmath>

namespace {
QColor rgb(double red, double green, double blue)
{
    return QColor::fromRgbF(float(red), float(green), float(blue));
}

// One point is one pixel on the badge, as on every desktop at scale 1.
constexpr int dotsPerMeterAt72Dpi = 2835;
} // namespace

const QColor UiKit::plenoxMauveFixed = rgb(0.486, 0.227, 0.929);
const QColor UiKit::awakeAmberFixed = rgb(0.961, 0.62, 0.043);

DynamicColor UiKit::plenoxMauve()
{
    return { rgb(0.486, 0.227, 0.929), rgb(0.686, 0.573, 0.992) };
}

DynamicColor UiKit::awakeAmber()
{
    return { rgb(0.851, 0.467, 0.024), rgb(0.984, 0.749, 0.141) };
}

DynamicColor UiKit::secondaryLabel()
{
    return { QColor(0, 0, 0, 150), QColor(255, 255, 255, 155) };
}

DynamicColor UiKit::tertiaryLabel()
{
    return { QColor(0, 0, 0, 115), QColor(255, 255, 255, 115) };
}

QLabel *UiKit::makeLabel(const QString &text, qreal size, QFont::Weight weight,
                         const DynamicColor &color)
{
    auto *label = new ThemedLabel(text, color);
    QFont font = QApplication::font();
    // Sizes are given in logical pixels, the way the layout of every window is measured.
    font.setPixelSize(qRound(size));
    font.setWeight(weight);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    return label;
}

QFont UiKit::quotaBadgeFont(qreal diameter)
{
    QFont font = QApplication::font();
    font.setPointSizeF(0.68 * diameter);
    font.setBold(true);
    return font;
}

QImage UiKit::quotaBadgeImage(qint64 count, qreal diameter, qreal devicePixelRatio)
{
    const int side = int(std::ceil(diameter * devicePixelRatio));
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.setDotsPerMeterX(int(dotsPerMeterAt72Dpi * devicePixelRatio));
    image.setDotsPerMeterY(int(dotsPerMeterAt72Dpi * devicePixelRatio));
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 59, 48));
    const QRectF disc(0, 0, diameter, diameter);
    painter.drawEllipse(disc);
    painter.setPen(Qt::white);
    painter.setFont(quotaBadgeFont(diameter));
    painter.drawText(disc, Qt::AlignCenter | Qt::TextDontClip,
                     QString::number(count >= 2 ? count : 1));
    return image;
}

QIcon UiKit::colorSwatch(const QColor &color, int diameter)
{
    QIcon icon;
    for (qreal scale : { 1.0, 2.0 }) {
        QPixmap pixmap(QSize(diameter, diameter) * scale);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(QRectF(0, 0, diameter, diameter));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QImage UiKit::plenoxMark()
{
    return QImage(QStringLiteral(":/images/mark.png"));
}

QIcon UiKit::applicationIcon()
{
    QIcon icon;
    for (int side : { 16, 32, 64, 128 })
        icon.addFile(QStringLiteral(":/appicon/veluna-%1.png").arg(side), QSize(side, side));
    return icon;
}

QPixmap UiKit::applicationPicture(qreal devicePixelRatio)
{
    const bool sharp = devicePixelRatio > 1.0;
    QPixmap picture(QStringLiteral(":/appicon/veluna-%1.png").arg(sharp ? 184 : 92));
    picture.setDevicePixelRatio(sharp ? 2.0 : 1.0);
    return picture;
}
