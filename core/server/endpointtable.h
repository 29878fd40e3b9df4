// SPDX-License-Identifier: MIT
#pragma once

#include "endpoints.h"

#include <QtGlobal>

#include <array>
#include <span>

// The server addresses as the build stored them: one scrambled table per address and the key
// they share. The definitions are generated at configure time; only Endpoints reads them (and
// the test that makes sure no address is stored in plain text).
namespace EndpointTable {
extern const std::array<quint8, 16> key;
std::span<const quint8> scrambled(Endpoints::Kind kind);
} // namespace EndpointTable
