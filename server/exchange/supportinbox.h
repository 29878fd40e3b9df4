// SPDX-License-Identifier: MIT
#pragma once

#include "exchangereply.h"

#include <QJsonObject>
#include <QSqlDatabase>

// The support conversation as devices see it. A sync records the device, takes its
// acknowledgement and offers the oldest maker message the device has not acknowledged, with the
// conversation's state; a report stores the user's text and (re)opens the conversation.
// Both take a body whose members Exchanges has already checked.
namespace SupportInbox {
ExchangeReply sync(QSqlDatabase &db, const QJsonObject &request, qint64 now);
ExchangeReply report(QSqlDatabase &db, const QJsonObject &request, qint64 now);
} // namespace SupportInbox
