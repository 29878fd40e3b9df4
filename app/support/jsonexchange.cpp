// SPDX-License-Identifier: MIT
#include "jsonexchange.h"

#include "boundedrequest.h"

void JsonExchange::post(const QUrl &url, const QJsonObject &body, std::chrono::milliseconds timeout,
                        QObject *owner, Callback done)
{
    BoundedRequest *request = BoundedRequest::postJson(
        url, body, { .deadline = timeout, .maxBodySize = maximumBodySize }, owner);
    QObject::connect(request, &BoundedRequest::finished, request, [request, done] {
        Answer answer;
        answer.received = request->failure() == BoundedRequest::Failure::None;
        answer.status = request->status();
        answer.body = request->takeBody();
        request->deleteLater();
        // Last, because the callback may destroy the owner and with it the request.
        if (done)
            done(answer);
    });
}
