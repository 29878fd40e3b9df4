// SPDX-License-Identifier: MIT
#include "symbolicon.h"

#include "tintedsvgiconengine.h"

#include <QFile>

#include <memory>

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

QIcon SymbolIcon::make(const QString &resourcePath, const QColor &color)
{
    auto engine = std::make_unique<TintedSvgIconEngine>(tintedSvg(resourcePath, color));
    if (!engine->isValid())
        return {};
    return QIcon(engine.release());
}
