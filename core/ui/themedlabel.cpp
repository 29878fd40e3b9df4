// SPDX-License-Identifier: MIT
#include "themedlabel.h"

#include <QApplication>
#include <QEvent>

ThemedLabel::ThemedLabel(const QString &text, const DynamicColor &color, QWidget *parent)
    : QLabel(text, parent)
    , m_color(color)
{
    applyColor();
}

void ThemedLabel::setTextColor(const DynamicColor &color)
{
    m_color = color;
    applyColor();
}

void ThemedLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    switch (event->type()) {
    case QEvent::PaletteChange:
    case QEvent::ApplicationPaletteChange:
    case QEvent::ParentChange:
        applyColor();
        break;
    default:
        break;
    }
}

void ThemedLabel::applyColor()
{
    // Resolve against the surroundings, not our own palette, which holds the previous result.
    const QPalette surroundings
        = parentWidget() ? parentWidget()->palette() : QApplication::palette(this);
    const QColor color = m_color.resolve(surroundings);
    if (palette().color(QPalette::WindowText) == color)
        return;
    QPalette own = palette();
    own.setColor(QPalette::WindowText, color);
    setPalette(own);
}
