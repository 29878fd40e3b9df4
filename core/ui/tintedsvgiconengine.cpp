// SPDX-License-Identifier: MIT
#include "tintedsvgiconengine.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace {
quint64 cacheKey(const QSize &size, QIcon::Mode mode)
{
    return (quint64(quint32(size.width())) << 34) | (quint64(quint32(size.height())) << 2)
        | quint64(mode);
}
} // namespace

TintedSvgIconEngine::TintedSvgIconEngine(const QByteArray &svg)
    : m_svg(svg)
    , m_renderer(svg)
{ }

QPixmap TintedSvgIconEngine::pixmap(const QSize &size, QIcon::Mode mode, QIcon::State)
{
    if (!size.isValid() || !m_renderer.isValid())
        return {};
    const quint64 key = cacheKey(size, mode);
    if (const auto found = m_drawn.constFind(key); found != m_drawn.constEnd())
        return *found;
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    m_renderer.render(&painter);
    painter.end();
    QPixmap drawn = QPixmap::fromImage(std::move(image));
    // Disabled and selected looks come from the style, as for any other icon.
    if (mode != QIcon::Normal && qobject_cast<QApplication *>(QCoreApplication::instance())) {
        QStyleOption option;
        option.palette = QApplication::palette();
        drawn = QApplication::style()->generatedIconPixmap(mode, drawn, &option);
    }
    m_drawn.insert(key, drawn);
    return drawn;
}

void TintedSvgIconEngine::paint(QPainter *painter, const QRect &rect, QIcon::Mode mode,
                                QIcon::State state)
{
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    QPixmap drawn = pixmap(rect.size() * ratio, mode, state);
    drawn.setDevicePixelRatio(ratio);
    painter->drawPixmap(rect, drawn);
}

QSize TintedSvgIconEngine::actualSize(const QSize &size, QIcon::Mode, QIcon::State)
{
    return m_renderer.isValid() ? size : QSize();
}

// The sizes panels and menus pick from when they ask what an icon has.
QList<QSize> TintedSvgIconEngine::availableSizes(QIcon::Mode, QIcon::State)
{
    if (!m_renderer.isValid())
        return {};
    return { QSize(16, 16), QSize(22, 22), QSize(24, 24), QSize(32, 32),
             QSize(44, 44), QSize(48, 48), QSize(64, 64) };
}

QIconEngine *TintedSvgIconEngine::clone() const
{
    return new TintedSvgIconEngine(m_svg);
}

QString TintedSvgIconEngine::key() const
{
    return QStringLiteral("VelunaTintedSvg");
}
