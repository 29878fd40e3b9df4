// SPDX-License-Identifier: MIT
#pragma once

#include "dynamiccolor.h"

#include <QFont>
#include <QIcon>
#include <QImage>
#include <QPixmap>

class QLabel;

// The brand colours and the small drawing helpers every window of the program shares.
namespace UiKit {
DynamicColor plenoxMauve();
DynamicColor awakeAmber();
extern const QColor plenoxMauveFixed; // #7C3AED
extern const QColor awakeAmberFixed; // #F59E0B
// Text of lesser importance: hints, captions, icon buttons.
DynamicColor secondaryLabel();
DynamicColor tertiaryLabel();

// A centred, read-only label in the system font of the given point size and weight.
QLabel *makeLabel(const QString &text, qreal size, QFont::Weight weight, const DynamicColor &color);

// A red disc of the given diameter with the count in white; counts below 2 show "1".
QImage quotaBadgeImage(qint64 count, qreal diameter, qreal devicePixelRatio = 1.0);
QFont quotaBadgeFont(qreal diameter);

// A filled circle of the given colour, as shown beside each colour choice.
QIcon colorSwatch(const QColor &color, int diameter = 11);

// The program's icon, as windows and dialogs show it (16 to 128 pixels).
QIcon applicationIcon();
// The program's icon drawn for the home view: 92 points, sharp at twice the pixels as well.
QPixmap applicationPicture(qreal devicePixelRatio);

// The maker's mark (120 x 120 pixels); a null image if it cannot be read.
QImage plenoxMark();
} // namespace UiKit
