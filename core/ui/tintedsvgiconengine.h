// SPDX-License-Identifier: MIT
#pragma once

#include <QHash>
#include <QIconEngine>
#include <QPixmap>
#include <QSize>
#include <QSvgRenderer>

// Draws one parsed SVG at whatever size is asked, the first time it is asked, and keeps each
// size drawn. Windows use one or two sizes of a symbol, so nothing is drawn for the others.
class TintedSvgIconEngine : public QIconEngine
{
public:
    explicit TintedSvgIconEngine(const QByteArray &svg);

    bool isValid() const { return m_renderer.isValid(); }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override;
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override;
    QIconEngine *clone() const override;
    QString key() const override;

private:
    QByteArray m_svg;
    QSvgRenderer m_renderer;
    QHash<quint64, QPixmap> m_drawn;
};
