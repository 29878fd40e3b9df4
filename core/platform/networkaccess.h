// SPDX-License-Identifier: MIT
#pragma once

#include <QNetworkAccessManager>

class QUrl;

// The process's one network access manager, shared by every exchange with the maker's server so
// connections and the cache are shared too. Made on first use, which must be on the main
// thread; its replies come back there, so no lock is needed.
//
// The address rule for every exchange: only https, except plain http to this machine's loopback
// addresses (how tests reach a local server). BoundedRequest applies it to every address and
// redirect.
namespace NetworkAccess {
QNetworkAccessManager &shared();

bool isAllowed(const QUrl &url);
} // namespace NetworkAccess
