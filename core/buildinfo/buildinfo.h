// SPDX-License-Identifier: MIT
#pragma once

// Facts fixed when the program is built. They are defined in a file generated from the build's
// settings, so changing the version or an address recompiles that one file and relinks.
namespace BuildInfo {
extern const char version[];
extern const char websiteUrl[];
extern const char updateFeedUrl[];
} // namespace BuildInfo
