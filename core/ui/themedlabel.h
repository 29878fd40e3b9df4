// SPDX-License-Identifier: MIT
#pragma once

#include "dynamiccolor.h"

#include <QLabel>

// A label whose text colour follows the palette it sits in: the colour is resolved again
// whenever the parent's or the application's palette changes (light and dark themes).
class ThemedLabel : public QLabel
{
    Q_OBJECT

public:
    ThemedLabel(const QString &text, const DynamicColor &color, QWidget *parent = nullptr);

    void setTextColor(const DynamicColor &color);

protected:
    void changeEvent(QEvent *event) override;

private:
    void applyColor();

    DynamicColor m_color;
};
