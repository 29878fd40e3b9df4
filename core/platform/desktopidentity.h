// SPDX-License-Identifier: MIT
#pragma once

// How the desktop knows the program, fixed when it is built: the name of its desktop entry
// (without ".desktop"), which is also its Wayland app id, its session-bus name, the name of its
// installed icon and the app id it gives the session manager. Defined in a generated file, so
// changing it recompiles that one file.
namespace DesktopIdentity {
extern const char desktopId[];
} // namespace DesktopIdentity
