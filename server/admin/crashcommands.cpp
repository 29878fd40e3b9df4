// SPDX-License-Identifier: MIT
#include "crashcommands.h"

#include "adminoutput.h"
#include "listing.h"
#include "sqlstatement.h"
#include "terminaltext.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QVersionNumber>

#include <optional>

namespace {
using VersionCounts = QHash<qint64, QStringList>;

// "1.2 (3)" per version seen in a group's reports, highest version first.
std::optional<VersionCounts> versionsSeen(QSqlDatabase &db, AdminOutput &output,
                                          const QString &where, const QVariantList &values)
{
    std::optional<QSqlQuery> rows
        = SqlStatement::run(db, output,
                            QStringLiteral("SELECT group_id, version, COUNT(*) FROM crash_reports ")
                                + where + QStringLiteral(" GROUP BY group_id, version"),
                            values);
    if (!rows)
        return std::nullopt;
    VersionCounts seen;
    while (rows->next())
        seen[rows->value(0).toLongLong()].append(
            QStringLiteral("%1 (%2)").arg(rows->value(1).toString(), rows->value(2).toString()));
    for (QStringList &versions : seen)
        std::sort(versions.begin(), versions.end(), [](const QString &a, const QString &b) {
            return QVersionNumber::fromString(a) > QVersionNumber::fromString(b);
        });
    return seen;
}

Listing groupListing()
{
    return Listing(
        { { QStringLiteral("id"), QStringLiteral("ID"), Listing::Kind::Number },
          { QStringLiteral("reports"), QStringLiteral("REPORTS"), Listing::Kind::Number },
          { QStringLiteral("kind"), QStringLiteral("KIND") },
          { QStringLiteral("first_seen"), QStringLiteral("FIRST SEEN (UTC)"), Listing::Kind::Time },
          { QStringLiteral("last_seen"), QStringLiteral("LAST SEEN (UTC)"), Listing::Kind::Time },
          { QStringLiteral("versions"), QStringLiteral("VERSIONS") },
          { QStringLiteral("message"), QStringLiteral("MESSAGE") } });
}

QString groupText(const QSqlQuery &row, const QStringList &versions)
{
    QString shown
        = QStringLiteral("Group      %1\nKind       %2\nMessage    %3\n"
                         "Reports    %4, first %5, last %6 (UTC)\nVersions   %7\n")
              .arg(row.value(0).toString(), TerminalText::escaped(row.value(1).toString()),
                   TerminalText::escaped(row.value(2).toString()), row.value(4).toString(),
                   TerminalText::time(row.value(5).toLongLong()),
                   TerminalText::time(row.value(6).toLongLong()),
                   TerminalText::escaped(versions.join(QStringLiteral(", "))));
    shown += QStringLiteral("\nSample stack\n");
    for (const QString &line : row.value(3).toString().split(u'\n'))
        shown += QStringLiteral("    ") + TerminalText::escaped(line) + u'\n';
    return shown;
}

QJsonObject groupObject(const QSqlQuery &row, const QStringList &versions)
{
    return { { QStringLiteral("id"), row.value(0).toLongLong() },
             { QStringLiteral("kind"), row.value(1).toString() },
             { QStringLiteral("message"), row.value(2).toString() },
             { QStringLiteral("sample_stack"), row.value(3).toString() },
             { QStringLiteral("reports"), row.value(4).toLongLong() },
             { QStringLiteral("first_seen"), row.value(5).toLongLong() },
             { QStringLiteral("last_seen"), row.value(6).toLongLong() },
             { QStringLiteral("versions"), QJsonArray::fromStringList(versions) } };
}
} // namespace

CrashCommands::CrashCommands(QSqlDatabase &db, AdminOutput &output)
    : m_db(db)
    , m_output(output)
{ }

ExitStatus CrashCommands::groups()
{
    const std::optional<VersionCounts> versions = versionsSeen(m_db, m_output, {}, {});
    std::optional<QSqlQuery> rows = SqlStatement::run(
        m_db, m_output,
        QStringLiteral("SELECT id, report_count, kind, first_seen, last_seen, message "
                       "FROM crash_groups ORDER BY report_count DESC, last_seen DESC, id"));
    if (!versions || !rows)
        return DatabaseFailed;
    Listing listing = groupListing();
    const int width = m_output.isJson() ? 0 : 60;
    while (rows->next())
        listing.addRow({ rows->value(0), rows->value(1), rows->value(2), rows->value(3),
                         rows->value(4), versions->value(rows->value(0).toLongLong()),
                         TerminalText::firstLine(rows->value(5).toString(), width) });
    m_output.print(listing);
    return Done;
}

ExitStatus CrashCommands::group(const QString &id)
{
    bool isNumber = false;
    const qint64 number = id.toLongLong(&isNumber);
    if (!isNumber) {
        m_output.error(QStringLiteral("a crash group is named by its number"));
        return BadUsage;
    }
    std::optional<QSqlQuery> row = SqlStatement::run(
        m_db, m_output,
        QStringLiteral("SELECT id, kind, message, sample_stack, report_count, first_seen, "
                       "last_seen FROM crash_groups WHERE id = ?"),
        { number });
    const std::optional<VersionCounts> versions
        = versionsSeen(m_db, m_output, QStringLiteral("WHERE group_id = ?"), { number });
    if (!row || !versions)
        return DatabaseFailed;
    if (!row->next()) {
        m_output.error(QStringLiteral("no crash group %1").arg(number));
        return NotFound;
    }
    if (m_output.isJson())
        m_output.print(groupObject(*row, versions->value(number)));
    else
        m_output.print(groupText(*row, versions->value(number)));
    return Done;
}
