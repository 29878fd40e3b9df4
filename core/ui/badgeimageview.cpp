// SPDX-License-Identifier: MIT
#include "badgeimageview.h"

BadgeImageView::BadgeImageView(QWidget *parent)
    : QLabel(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}
