// SPDX-License-Identifier: MIT
#include "upowerpowersource.h"

std::unique_ptr<PowerSource> PowerSource::createPlatformDefault()
{
    return std::make_unique<UPowerPowerSource>();
}
