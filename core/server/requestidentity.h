// SPDX-License-Identifier: MIT
#pragma once

#include <QJsonObject>
#include <QString>

// What every request to the maker's server says about where it comes from: the installation's
// device identifier ("d"), the program's version ("v") and the system it runs on ("os").
namespace RequestIdentity {
enum class DeviceId {
    Created, // deviceId(): the exchanges with the server
    StoredOnly, // storedDeviceId(): crash and error reports
};
// The three members "d", "v" and "os" that open every request body.
QJsonObject fields(DeviceId deviceId);
// The identifier kept under "VLDeviceId": a stored string is answered as it is (even an empty
// one); otherwise a new random upper-case UUID is stored and answered.
QString deviceId();
// The stored identifier, or "?" when there is none; it never creates one, so reporting a crash
// writes no settings.
QString storedDeviceId();
// The program's version as the build set it, or "?" when the build left it empty.
QString versionText();
// Linux: the distribution and its version as Qt reports them ("debian 12"); macOS: "macOS 14.5".
// One file per operating system defines it.
QString systemText();
} // namespace RequestIdentity
