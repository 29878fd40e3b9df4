// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

// A rounded panel that groups related settings: a faint fill and a fainter border, both
// taken from the text colour so they read on light and dark themes alike.
class CardView : public QWidget
{
    Q_OBJECT

public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *event) override;
};
