// SPDX-License-Identifier: MIT
#include "figurecommands.h"

#include "adminoutput.h"
#include "database.h"
#include "listing.h"
#include "sqlstatement.h"

#include <QJsonObject>
#include <QSqlDatabase>
#include <QVersionNumber>

#include <algorithm>

namespace {
constexpr qint64 day = 24 * 3600;

struct VersionFigure
{
    QString version;
    qint64 day = 0;
    qint64 week = 0;
};
// Devices by the version they last reported, highest version first.
std::optional<QList<VersionFigure>> figuresOf(QSqlDatabase &db, AdminOutput &output)
{
    const qint64 now = Database::now();
    std::optional<QSqlQuery> rows = SqlStatement::run(
        db, output,
        QStringLiteral("SELECT version, SUM(CASE WHEN last_seen >= ? THEN 1 ELSE 0 END), "
                       "COUNT(*) FROM devices WHERE last_seen >= ? GROUP BY version"),
        { now - day, now - 7 * day });
    if (!rows)
        return std::nullopt;
    QList<VersionFigure> figures;
    while (rows->next())
        figures.append({ rows->value(0).toString(), rows->value(1).toLongLong(),
                         rows->value(2).toLongLong() });
    std::sort(figures.begin(), figures.end(), [](const VersionFigure &a, const VersionFigure &b) {
        return QVersionNumber::fromString(a.version) > QVersionNumber::fromString(b.version);
    });
    return figures;
}
} // namespace

FigureCommands::FigureCommands(QSqlDatabase &db, AdminOutput &output)
    : m_db(db)
    , m_output(output)
{ }

ExitStatus FigureCommands::figures()
{
    const std::optional<QList<VersionFigure>> figures = figuresOf(m_db, m_output);
    if (!figures)
        return DatabaseFailed;
    Listing listing(
        { { QStringLiteral("version"), QStringLiteral("VERSION") },
          { QStringLiteral("last_day"), QStringLiteral("LAST DAY"), Listing::Kind::Number },
          { QStringLiteral("last_week"), QStringLiteral("LAST WEEK"), Listing::Kind::Number } });
    qint64 day = 0;
    qint64 week = 0;
    for (const VersionFigure &figure : *figures) {
        listing.addRow({ figure.version, figure.day, figure.week });
        day += figure.day;
        week += figure.week;
    }
    if (m_output.isJson())
        m_output.print(QJsonObject { { QStringLiteral("last_day"), day },
                                     { QStringLiteral("last_week"), week },
                                     { QStringLiteral("versions"), listing.json() } });
    else
        m_output.print(listing.text()
                       + QStringLiteral("\n%1 in the last day, %2 in the last week\n")
                             .arg(QString::number(day), QString::number(week)));
    return Done;
}
