#include "symbolbutton.h"

#include "symbolicon.h"

#include <QEvent>

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
    refreshIcon();
}

void SymbolButton::changeEvent(QEvent *event)
{
    QPushButton::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange)
        refreshIcon();
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
    if (m_accent) {
        setIcon(SymbolIcon::make(m_symbolPath, palette().color(QPalette::Highlight)));
        return;
    }
    // Symbols are drawn opaque: a translucent tint would fade their antialiased edges twice.
    const QColor text = palette().color(QPalette::WindowText);
    const QColor window = palette().color(QPalette::Window);
    const float mix = 0.62f;
    setIcon(SymbolIcon::make(m_symbolPath,
                             QColor::fromRgbF(text.redF() * mix + window.redF() * (1 - mix),
                                              text.greenF() * mix + window.greenF() * (1 - mix),
                                              text.blueF() * mix + window.blueF() * (1 - mix))));
}
