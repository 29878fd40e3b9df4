// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QIcon>

// Our one-colour symbol artwork (SVG drawn in #000000) rendered in any colour, at the sizes
// panels, menus and buttons ask for, each drawn when first asked for. A missing or unreadable file
// gives a null icon.
namespace SymbolIcon {
QIcon make(const QString &resourcePath, const QColor &color);
} // namespace SymbolIcon
