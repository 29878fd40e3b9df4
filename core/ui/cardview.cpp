// SPDX-License-Identifier: MIT
#include "cardview.h"

#include <QPainter>

void CardView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = palette().color(QPalette::WindowText);
    QColor border = fill;
    fill.setAlphaF(0.05f);
    border.setAlphaF(0.08f);
    painter.setPen(QPen(border, 1));
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
}
