// SPDX-License-Identifier: MIT
#include "symbolbutton.h"

#include "symbolicon.h"

#include <QApplication>
#include <QEvent>

namespace {
// Symbols are drawn opaque: a translucent tint would fade their antialiased edges twice.
QColor quietTint(const QPalette &palette)
{
    const QColor text = palette.color(QPalette::WindowText);
    const QColor window = palette.color(QPalette::Window);
    const float mix = 0.62f;
    return QColor::fromRgbF(text.redF() * mix + window.redF() * (1 - mix),
                            text.greenF() * mix + window.greenF() * (1 - mix),
                            text.blueF() * mix + window.blueF() * (1 - mix));
}
} // namespace

SymbolButton::SymbolButton(const QString &symbolPath, int pointSize, const QString &toolTip,
                           QWidget *parent)
    : QPushButton(parent)
    , m_symbolPath(symbolPath)
{
    setFlat(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setIconSize(QSize(pointSize + 4, pointSize + 4));
    setToolTip(toolTip);
    setAccessibleName(toolTip);
    setStyleSheet(QStringLiteral("QPushButton { border: none; background: transparent; }"
                                 "QPushButton:hover { background: rgba(127,127,127,0.15);"
                                 " border-radius: 6px; }"));
    if (parent)
        parent->installEventFilter(this);
    refreshIcon();
}

// The style sheet gives the button a palette of its own, which theme changes then pass by: the
// colours to follow are those of the widget the button sits on.
bool SymbolButton::event(QEvent *event)
{
    if (event->type() == QEvent::ParentAboutToChange && parentWidget())
        parentWidget()->removeEventFilter(this);
    const bool handled = QPushButton::event(event);
    if (event->type() == QEvent::ParentChange) {
        if (parentWidget())
            parentWidget()->installEventFilter(this);
        refreshIcon();
    }
    return handled;
}

bool SymbolButton::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::PaletteChange)
        refreshIcon();
    return QPushButton::eventFilter(watched, event);
}

void SymbolButton::setAccent(bool accent)
{
    if (m_accent == accent)
        return;
    m_accent = accent;
    refreshIcon();
}

void SymbolButton::refreshIcon()
{
    const QPalette around = parentWidget() ? parentWidget()->palette() : QApplication::palette();
    const QColor tint = m_accent ? around.color(QPalette::Highlight) : quietTint(around);
    if (tint == m_tint && !icon().isNull())
        return;
    m_tint = tint;
    setIcon(SymbolIcon::make(m_symbolPath, tint));
}
