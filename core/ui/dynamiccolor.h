// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QPalette>

#include <optional>

class QWidget;

// A colour that is resolved where it is drawn: one value for light palettes and one for dark
// ones, or a role of the palette itself. A palette counts as dark when its window colour is.
class DynamicColor
{
public:
    DynamicColor(const QColor &fixed); // NOLINT: a fixed colour is a dynamic one that never changes
    DynamicColor(const QColor &light, const QColor &dark);
    static DynamicColor paletteRole(QPalette::ColorRole role);

    QColor resolve(const QPalette &palette) const;
    QColor resolve(const QWidget *widget) const;
    static bool isDark(const QPalette &palette);

private:
    DynamicColor() = default;

    QColor m_light;
    QColor m_dark;
    std::optional<QPalette::ColorRole> m_role;
};
