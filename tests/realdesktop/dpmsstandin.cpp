// SPDX-License-Identifier: MIT
// Stands in for the X server's DPMS extension inside a power manager run on a display that has
// none (Xvfb). Preloaded, it answers the libXext DPMS calls from a state of its own, so the power
// manager takes its ordinary path (xfce4-power-manager 4.18.1 crashes on releasing an
// inhibition when the extension is missing), and it prints every change on stderr, where the
// test reads what the power manager does to the screen.
#include <cstdio>

struct _XDisplay;
using Display = _XDisplay;
using CARD16 = unsigned short;
using BOOL = unsigned char;
using Bool = int;
using Status = int;

namespace {

struct DpmsState
{
    CARD16 standby = 0;
    CARD16 suspend = 0;
    CARD16 off = 0;
    CARD16 level = 0; // DPMSModeOn
    bool enabled = true;
};

DpmsState state;

void report(const char *what)
{
    std::fprintf(stderr, "dpms-standin: %s: enabled=%d standby=%u suspend=%u off=%u level=%u\n",
                 what, state.enabled, state.standby, state.suspend, state.off, state.level);
}

} // namespace

extern "C" {

Bool DPMSCapable(Display *)
{
    return 1;
}

Status DPMSSetTimeouts(Display *, CARD16 standby, CARD16 suspend, CARD16 off)
{
    state.standby = standby;
    state.suspend = suspend;
    state.off = off;
    report("timeouts");
    return 1;
}

Bool DPMSGetTimeouts(Display *, CARD16 *standby, CARD16 *suspend, CARD16 *off)
{
    *standby = state.standby;
    *suspend = state.suspend;
    *off = state.off;
    return 1;
}

Status DPMSEnable(Display *)
{
    state.enabled = true;
    report("enable");
    return 1;
}

Status DPMSDisable(Display *)
{
    state.enabled = false;
    report("disable");
    return 1;
}

Status DPMSForceLevel(Display *, CARD16 level)
{
    state.level = level;
    report("level");
    return 1;
}

Status DPMSInfo(Display *, CARD16 *level, BOOL *enabled)
{
    *level = state.level;
    *enabled = state.enabled;
    return 1;
}

} // extern "C"
