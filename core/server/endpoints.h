// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QUrl>
#include <QtGlobal>

#include <array>
#include <span>

// The three addresses of the maker's server. They are build-time constants held only in
// scrambled form and unscrambled once per process. An address is handed out only when it is
// https, or plain http to this machine's loopback (what a test server listens on); anything
// else answers an empty URL, and callers send nothing to an empty URL.
namespace Endpoints {
enum class Kind { Sync, Report, Crash };

QUrl sync();
QUrl report();
QUrl crash();
QUrl url(Kind kind);

// The address itself when the rule above allows it, else an empty URL.
QUrl allowed(const QUrl &address);
// Byte i of the result is byte i of table XOR byte (i mod 16) of key.
QByteArray unscramble(std::span<const quint8> table, const std::array<quint8, 16> &key);

// Tests point the program at a local server; the same rule applies. An empty URL restores the
// built-in address.
void setOverrideForTests(Kind kind, const QUrl &address);
} // namespace Endpoints
