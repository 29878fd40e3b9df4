// SPDX-License-Identifier: MIT
#pragma once

#include <QLabel>

// Shows a badge image over another control without taking its clicks: mouse events pass
// through to whatever lies beneath.
class BadgeImageView : public QLabel
{
    Q_OBJECT

public:
    explicit BadgeImageView(QWidget *parent = nullptr);
};
