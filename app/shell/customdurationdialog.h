// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

// The dialog asking for a duration of one's own, in hours and minutes, starting from the stored
// one. A confirmed duration above zero becomes both the custom and the default duration.
class CustomDurationDialog
{
public:
    // True when a new duration was stored.
    static bool run();
};
