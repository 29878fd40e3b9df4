// SPDX-License-Identifier: MIT
// Stands in for the X server's DPMS extension inside a power manager run on a display that has
// none (Xvfb). Preloaded, it answers the libXext DPMS calls as a capable screen that is on, with
// no timeouts of its own, so the power manager takes its ordinary path (xfce4-power-manager
// 4.18.1 crashes on releasing an inhibition when the extension is missing). What the manager
// sets is not kept: the test reads the manager's own view, not the screen's.
struct _XDisplay;
using Display = _XDisplay;
using CARD16 = unsigned short;
using BOOL = unsigned char;

// Asking whether the screen can do DPMS, setting timeouts, enabling, disabling and forcing a level
// all succeed.
#define VELUNA_DPMS_SUCCEEDS(name, ...)                                                            \
    int name(__VA_ARGS__)                                                                          \
    {                                                                                              \
        return 1;                                                                                  \
    }

extern "C" {

VELUNA_DPMS_SUCCEEDS(DPMSCapable, Display *)
VELUNA_DPMS_SUCCEEDS(DPMSSetTimeouts, Display *, CARD16, CARD16, CARD16)
VELUNA_DPMS_SUCCEEDS(DPMSEnable, Display *)
VELUNA_DPMS_SUCCEEDS(DPMSDisable, Display *)
VELUNA_DPMS_SUCCEEDS(DPMSForceLevel, Display *, CARD16)

int DPMSGetTimeouts(Display *, CARD16 *standby, CARD16 *suspend, CARD16 *off)
{
    *standby = *suspend = *off = 0;
    return 1;
}

int DPMSInfo(Display *, CARD16 *level, BOOL *enabled)
{
    *level = 0; // DPMSModeOn
    *enabled = 1;
    return 1;
}

} // extern "C"
