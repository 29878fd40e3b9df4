// SPDX-License-Identifier: MIT
#pragma once

#include "powersource.h"

// A power source that reports what the test sets, at once.
class MemoryPowerSource : public PowerSource
{
    Q_OBJECT

public:
    using PowerSource::PowerSource;
    State state() const override { return m_state; }
    void setState(const State &state);

private:
    State m_state;
};
