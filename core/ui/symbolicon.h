#pragma once

#include <QColor>
#include <QIcon>

// Our one-colour symbol artwork (SVG drawn in #000000) rendered in any colour, at the sizes
// panels, menus and buttons ask for. A missing or unreadable file gives a null icon.
namespace SymbolIcon {
QIcon make(const QString &resourcePath, const QColor &color);
QImage render(const QString &resourcePath, const QColor &color, const QSize &size);
} // namespace SymbolIcon
