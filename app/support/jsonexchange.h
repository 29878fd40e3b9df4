// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

#include <chrono>
#include <functional>

class QJsonObject;
class QObject;
class QUrl;

// One POST of a JSON object to the maker's server and the answer to it, under the rules of
// BoundedRequest: `timeout` bounds the whole exchange, redirects lead only to addresses the
// address rule accepts, and a body that announces or delivers more than maximumBodySize bytes
// is cut off and counts as no answer. The exchange lives as a child of its owner: the callback
// runs exactly once on the owner's thread, unless the owner goes away first, which abandons the
// request silently.
namespace JsonExchange {
inline constexpr qint64 maximumBodySize = 1024 * 1024;

struct Answer
{
    // An HTTP answer arrived whole, whatever its status; false for every transport failure,
    // a timeout, a refused redirect and an answer that was too large.
    bool received = false;
    int status = 0;
    QByteArray body;
};
using Callback = std::function<void(const Answer &)>;

void post(const QUrl &url, const QJsonObject &body, std::chrono::milliseconds timeout,
          QObject *owner, Callback done);
} // namespace JsonExchange
