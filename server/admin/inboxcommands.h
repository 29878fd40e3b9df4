// SPDX-License-Identifier: MIT
#pragma once

#include "exitstatus.h"

#include <QString>

#include <optional>

class AdminOutput;
class QSqlDatabase;

// The support inbox seen by the maker: the conversations, one conversation in full, a reply
// (queued as a maker message that the device's next sync offers, oldest first), and closing or
// reopening a conversation, which the device's next sync tells the app.
class InboxCommands
{
public:
    InboxCommands(QSqlDatabase &db, AdminOutput &output);

    ExitStatus conversations();
    ExitStatus show(const QString &device);
    ExitStatus reply(const QString &device, const QString &text);
    ExitStatus setState(const QString &device, const QString &state);

private:
    ExitStatus checkKnown(const QString &device);
    std::optional<qint64> queue(const QString &device, const QString &text);

    QSqlDatabase &m_db;
    AdminOutput &m_output;
};
