#include "symbolicon.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

namespace {
QByteArray tintedSvg(const QString &resourcePath, const QColor &color)
{
    QFile file(resourcePath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray svg = file.readAll();
    svg.replace("#000000", color.name(QColor::HexRgb).toLatin1());
    if (color.alpha() < 255) {
        svg.replace("<svg ",
                    QByteArray("<svg opacity=\"") + QByteArray::number(color.alphaF()) + "\" ");
    }
    return svg;
}
} // namespace

QImage SymbolIcon::render(const QString &resourcePath, const QColor &color, const QSize &size)
{
    QSvgRenderer renderer(tintedSvg(resourcePath, color));
    if (!renderer.isValid())
        return {};
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

QIcon SymbolIcon::make(const QString &resourcePath, const QColor &color)
{
    QIcon icon;
    for (int side : { 16, 22, 24, 32, 44, 48, 64 }) {
        const QImage image = render(resourcePath, color, QSize(side, side));
        if (image.isNull())
            return {};
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}
