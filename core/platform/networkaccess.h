#pragma once

#include <QNetworkAccessManager>

#include <chrono>

class QNetworkReply;
class QUrl;

// The process's one network access manager, shared by every exchange with the maker's server so
// connections and the cache are shared too. Made on first use, which must be on the main
// thread; its replies come back there, so no lock is needed.
//
// The rules for fetching what the server publishes: only https, except plain http to this
// machine's loopback addresses (how tests reach a local server); a transfer that stalls for the
// given time is aborted (Qt 6.4 reports OperationCanceledError, later versions TimeoutError);
// redirects are followed only to addresses the same rule accepts.
namespace NetworkAccess {
QNetworkAccessManager &shared();

bool isAllowed(const QUrl &url);
// A GET through shared() with the rules above; the caller owns the reply. Nothing is sent, and
// nothing answered, for an address isAllowed() refuses.
QNetworkReply *get(const QUrl &url, std::chrono::milliseconds stallTimeout);
// The address a reply was redirected to and refused (the reply then ends as aborted); empty
// when no redirect was refused.
QUrl refusedRedirect(const QNetworkReply *reply);
} // namespace NetworkAccess
