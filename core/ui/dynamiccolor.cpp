// SPDX-License-Identifier: MIT
#include "dynamiccolor.h"

#include <QApplication>
#include <QWidget>

DynamicColor::DynamicColor(const QColor &fixed)
    : m_light(fixed)
    , m_dark(fixed)
{ }

DynamicColor::DynamicColor(const QColor &light, const QColor &dark)
    : m_light(light)
    , m_dark(dark)
{ }

DynamicColor DynamicColor::paletteRole(QPalette::ColorRole role)
{
    DynamicColor color;
    color.m_role = role;
    return color;
}

QColor DynamicColor::resolve(const QPalette &palette) const
{
    if (m_role)
        return palette.color(*m_role);
    return isDark(palette) ? m_dark : m_light;
}

QColor DynamicColor::resolve(const QWidget *widget) const
{
    return resolve(widget ? widget->palette() : QApplication::palette());
}

bool DynamicColor::isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}
