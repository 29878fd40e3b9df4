// SPDX-License-Identifier: MIT
#include "inboxcommands.h"

#include "adminoutput.h"
#include "database.h"
#include "listing.h"
#include "sqlstatement.h"
#include "terminaltext.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSqlDatabase>

namespace {
const QString listSql = QStringLiteral(
    "SELECT c.device, c.state, "
    "COALESCE((SELECT MAX(m.created_at) FROM messages m WHERE m.device = c.device), "
    "c.updated_at) AS last_message, "
    "(SELECT COUNT(*) FROM messages m WHERE m.device = c.device) AS message_count, "
    "(SELECT m.body FROM messages m WHERE m.device = c.device ORDER BY m.created_at, m.id "
    "LIMIT 1) AS first_body "
    "FROM conversations c "
    "ORDER BY CASE c.state WHEN 'open' THEN 0 ELSE 1 END, last_message DESC, c.device");

const QString conversationSql = QStringLiteral(
    "SELECT c.state, c.opened_at, c.updated_at, d.version, d.os "
    "FROM conversations c LEFT JOIN devices d ON d.id = c.device WHERE c.device = ?");

const QString messagesSql
    = QStringLiteral("SELECT id, author, body, email, created_at, delivered_at FROM messages "
                     "WHERE device = ? ORDER BY created_at, id");

// Body lines are indented under their heading line, so no text a user writes can pass for
// the heading of another message.
QString indentedBody(const QString &body)
{
    QString shown;
    for (const QString &line : body.split(u'\n'))
        shown += QStringLiteral("    ") + TerminalText::escaped(line) + u'\n';
    return shown;
}

QString messageHeading(const QSqlQuery &row)
{
    QString heading = TerminalText::time(row.value(4).toLongLong()) + QStringLiteral("  #")
        + row.value(0).toString() + QStringLiteral("  ") + row.value(1).toString();
    if (!row.value(3).toString().isEmpty())
        heading += QStringLiteral("  <") + TerminalText::escaped(row.value(3).toString()) + u'>';
    if (row.value(1).toString() == QLatin1String("maker"))
        heading += row.value(5).isNull() ? QStringLiteral("  (not yet delivered)")
                                         : QStringLiteral("  (delivered ")
                + TerminalText::time(row.value(5).toLongLong()) + u')';
    return heading + u'\n';
}

QJsonValue nullable(const QVariant &value)
{
    return value.isNull() ? QJsonValue() : QJsonValue::fromVariant(value);
}

QJsonObject messageObject(const QSqlQuery &row)
{
    return { { QStringLiteral("id"), row.value(0).toLongLong() },
             { QStringLiteral("author"), row.value(1).toString() },
             { QStringLiteral("body"), row.value(2).toString() },
             { QStringLiteral("email"), nullable(row.value(3)) },
             { QStringLiteral("created_at"), row.value(4).toLongLong() },
             { QStringLiteral("delivered_at"), nullable(row.value(5)) } };
}
QString conversationText(const QString &device, QSqlQuery &head, QSqlQuery &messages)
{
    QString shown = QStringLiteral("Device   ") + TerminalText::escaped(device) + u'\n'
        + QStringLiteral("Version  ") + TerminalText::escaped(head.value(3).toString())
        + QStringLiteral(" on ") + TerminalText::escaped(head.value(4).toString()) + u'\n'
        + QStringLiteral("State    ") + head.value(0).toString() + QStringLiteral(", opened ")
        + TerminalText::time(head.value(1).toLongLong()) + QStringLiteral(", updated ")
        + TerminalText::time(head.value(2).toLongLong()) + QStringLiteral(" (UTC)\n");
    while (messages.next())
        shown += u'\n' + messageHeading(messages) + indentedBody(messages.value(2).toString());
    return shown;
}

QJsonObject conversationObject(const QString &device, QSqlQuery &head, QSqlQuery &messages)
{
    QJsonArray all;
    while (messages.next())
        all.append(messageObject(messages));
    return { { QStringLiteral("device"), device },
             { QStringLiteral("state"), head.value(0).toString() },
             { QStringLiteral("opened_at"), head.value(1).toLongLong() },
             { QStringLiteral("updated_at"), head.value(2).toLongLong() },
             { QStringLiteral("version"), nullable(head.value(3)) },
             { QStringLiteral("os"), nullable(head.value(4)) },
             { QStringLiteral("messages"), all } };
}
} // namespace

InboxCommands::InboxCommands(QSqlDatabase &db, AdminOutput &output)
    : m_db(db)
    , m_output(output)
{ }

ExitStatus InboxCommands::conversations()
{
    std::optional<QSqlQuery> rows = SqlStatement::run(m_db, m_output, listSql);
    if (!rows)
        return DatabaseFailed;
    Listing listing(
        { { QStringLiteral("device"), QStringLiteral("DEVICE") },
          { QStringLiteral("state"), QStringLiteral("STATE") },
          { QStringLiteral("last_message"), QStringLiteral("LAST MESSAGE (UTC)"),
            Listing::Kind::Time },
          { QStringLiteral("messages"), QStringLiteral("MESSAGES"), Listing::Kind::Number },
          { QStringLiteral("first_line"), QStringLiteral("FIRST LINE") } });
    const int width = m_output.isJson() ? 0 : 60;
    while (rows->next())
        listing.addRow({ rows->value(0), rows->value(1), rows->value(2), rows->value(3),
                         TerminalText::firstLine(rows->value(4).toString(), width) });
    m_output.print(listing);
    return Done;
}

ExitStatus InboxCommands::show(const QString &device)
{
    std::optional<QSqlQuery> head = SqlStatement::run(m_db, m_output, conversationSql, { device });
    if (!head)
        return DatabaseFailed;
    if (!head->next()) {
        m_output.error(QStringLiteral("no conversation with device ")
                       + TerminalText::escaped(device));
        return NotFound;
    }
    std::optional<QSqlQuery> messages = SqlStatement::run(m_db, m_output, messagesSql, { device });
    if (!messages)
        return DatabaseFailed;
    if (m_output.isJson())
        m_output.print(conversationObject(device, *head, *messages));
    else
        m_output.print(conversationText(device, *head, *messages));
    return Done;
}

ExitStatus InboxCommands::reply(const QString &device, const QString &text)
{
    if (text.trimmed().isEmpty()) {
        m_output.error(QStringLiteral("the reply is empty"));
        return BadUsage;
    }
    if (const ExitStatus known = checkKnown(device); known != Done)
        return known;
    const std::optional<qint64> id = queue(device, text);
    if (!id)
        return DatabaseFailed;
    if (m_output.isJson())
        m_output.print(
            QJsonObject { { QStringLiteral("id"), *id }, { QStringLiteral("device"), device } });
    else
        m_output.print(QStringLiteral("Message #%1 queued for %2; its next sync delivers it.\n")
                           .arg(QString::number(*id), TerminalText::escaped(device)));
    return Done;
}

// A device the server has seen, or one that wrote to us.
ExitStatus InboxCommands::checkKnown(const QString &device)
{
    std::optional<QSqlQuery> found
        = SqlStatement::run(m_db, m_output,
                            QStringLiteral("SELECT 1 FROM devices WHERE id = ? "
                                           "UNION SELECT 1 FROM conversations WHERE device = ?"),
                            { device, device });
    if (!found)
        return DatabaseFailed;
    if (found->next())
        return Done;
    m_output.error(QStringLiteral("no device ") + TerminalText::escaped(device));
    return NotFound;
}

// The message and the conversation's time in one short transaction; a reply to a device that
// never wrote opens its conversation, a reply to a closed one leaves it closed.
std::optional<qint64> InboxCommands::queue(const QString &device, const QString &text)
{
    const qint64 at = Database::now();
    if (!m_db.transaction())
        return std::nullopt;
    std::optional<QSqlQuery> inserted = SqlStatement::run(
        m_db, m_output,
        QStringLiteral("INSERT INTO messages (device, author, body, created_at) "
                       "VALUES (?, 'maker', ?, ?) RETURNING id"),
        { device, text, at });
    const bool stored = inserted && inserted->next();
    const qint64 id = stored ? inserted->value(0).toLongLong() : 0;
    inserted.reset();
    if (stored
        && SqlStatement::run(m_db, m_output,
                             QStringLiteral("INSERT INTO conversations "
                                            "(device, state, opened_at, updated_at) "
                                            "VALUES (?, 'open', ?, ?) ON CONFLICT (device) "
                                            "DO UPDATE SET updated_at = excluded.updated_at"),
                             { device, at, at })
        && m_db.commit())
        return id;
    m_db.rollback();
    return std::nullopt;
}

ExitStatus InboxCommands::setState(const QString &device, const QString &state)
{
    std::optional<QSqlQuery> updated = SqlStatement::run(
        m_db, m_output,
        QStringLiteral("UPDATE conversations SET state = ?, updated_at = ? WHERE device = ?"),
        { state, Database::now(), device });
    if (!updated)
        return DatabaseFailed;
    if (updated->numRowsAffected() < 1) {
        m_output.error(QStringLiteral("no conversation with device ")
                       + TerminalText::escaped(device));
        return NotFound;
    }
    if (m_output.isJson())
        m_output.print(QJsonObject { { QStringLiteral("device"), device },
                                     { QStringLiteral("state"), state } });
    else
        m_output.print(QStringLiteral("Conversation with %1 is now %2.\n")
                           .arg(TerminalText::escaped(device), state));
    return Done;
}
