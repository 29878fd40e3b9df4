// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

// The container of hand-placed subviews. Qt widgets already count positions from the top
// left, so this only names the role; geometry given to children is used as it is.
class FlippedView : public QWidget
{
    Q_OBJECT

public:
    using QWidget::QWidget;
};
