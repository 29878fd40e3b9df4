// SPDX-License-Identifier: MIT
#include "autostartloginitem.h"

std::unique_ptr<LoginItem> LoginItem::createPlatformDefault()
{
    return std::make_unique<AutostartLoginItem>();
}
