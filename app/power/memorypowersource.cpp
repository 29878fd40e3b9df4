// SPDX-License-Identifier: MIT
#include "memorypowersource.h"

void MemoryPowerSource::setState(const State &state)
{
    m_state = state;
    emit changed();
}
