// SPDX-License-Identifier: MIT
#include "dbuspowerassertions.h"

std::unique_ptr<PowerAssertions> PowerAssertions::createPlatformDefault()
{
    return std::make_unique<DBusPowerAssertions>(DesktopPolicy::current());
}
