// SPDX-License-Identifier: MIT
#include "releasecommands.h"

#include "adminoutput.h"
#include "database.h"
#include "listing.h"
#include "sqlstatement.h"
#include "terminaltext.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QUrl>

#include <optional>

namespace {
struct FileFacts
{
    qint64 length = 0;
    QString sha256;
};

std::optional<FileFacts> factsOf(const QString &path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return std::nullopt;
    return FileFacts { file.size(), QString::fromLatin1(hash.result().toHex()) };
}

// The app reads a version only when it starts with a number, after an optional "v".
bool isVersion(const QString &version)
{
    const QString rest
        = version.startsWith(u'v') || version.startsWith(u'V') ? version.mid(1) : version;
    return !rest.isEmpty() && rest.front().isDigit() && version == version.trimmed();
}

bool isDownloadUrl(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty()
        && (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"));
}

QJsonObject releaseObject(const ReleaseCommands::Publication &release, const FileFacts &file,
                          qint64 at)
{
    return {
        { QStringLiteral("version"), release.version }, { QStringLiteral("notes"), release.notes },
        { QStringLiteral("url"), release.url },         { QStringLiteral("length"), file.length },
        { QStringLiteral("sha256"), file.sha256 },      { QStringLiteral("published_at"), at }
    };
}
} // namespace

ReleaseCommands::ReleaseCommands(QSqlDatabase &db, AdminOutput &output)
    : m_db(db)
    , m_output(output)
{ }

ExitStatus ReleaseCommands::check(const Publication &release)
{
    if (!isVersion(release.version)) {
        m_output.error(QStringLiteral("a version starts with a number, such as 1.2.0"));
        return BadUsage;
    }
    if (!isDownloadUrl(release.url)) {
        m_output.error(QStringLiteral("the download address must be an http or https URL"));
        return BadUsage;
    }
    bool known = false;
    if (!isPublished(release.version, known))
        return DatabaseFailed;
    if (known) {
        m_output.error(QStringLiteral("version %1 is already published")
                           .arg(TerminalText::escaped(release.version)));
        return BadUsage;
    }
    return Done;
}

bool ReleaseCommands::isPublished(const QString &version, bool &known)
{
    std::optional<QSqlQuery> found = SqlStatement::run(
        m_db, m_output, QStringLiteral("SELECT 1 FROM releases WHERE version = ?"), { version });
    known = found && found->next();
    return found.has_value();
}

ExitStatus ReleaseCommands::publish(const Publication &release)
{
    if (const ExitStatus checked = check(release); checked != Done)
        return checked;
    const std::optional<FileFacts> file = factsOf(release.file);
    if (!file) {
        m_output.error(QStringLiteral("cannot read the file ") + release.file);
        return NotFound;
    }
    const qint64 at = Database::now();
    // The unique version settles a race with another publication of the same version.
    if (!SqlStatement::run(
            m_db, m_output,
            QStringLiteral("INSERT INTO releases "
                           "(version, notes, url, length, sha256, published_at) "
                           "VALUES (?, ?, ?, ?, ?, ?)"),
            { release.version, release.notes, release.url, file->length, file->sha256, at }))
        return DatabaseFailed;
    if (m_output.isJson())
        m_output.print(releaseObject(release, *file, at));
    else
        m_output.print(QStringLiteral("Published %1: %2 bytes, SHA-256 %3\n")
                           .arg(TerminalText::escaped(release.version),
                                QString::number(file->length), file->sha256));
    return Done;
}

ExitStatus ReleaseCommands::releases()
{
    std::optional<QSqlQuery> rows = SqlStatement::run(
        m_db, m_output,
        QStringLiteral("SELECT version, published_at, length, sha256, url FROM releases "
                       "ORDER BY published_at DESC, id DESC"));
    if (!rows)
        return DatabaseFailed;
    Listing listing({ { QStringLiteral("version"), QStringLiteral("VERSION") },
                      { QStringLiteral("published_at"), QStringLiteral("PUBLISHED (UTC)"),
                        Listing::Kind::Time },
                      { QStringLiteral("length"), QStringLiteral("BYTES"), Listing::Kind::Number },
                      { QStringLiteral("sha256"), QStringLiteral("SHA-256") },
                      { QStringLiteral("url"), QStringLiteral("URL") } });
    while (rows->next())
        listing.addRow(
            { rows->value(0), rows->value(1), rows->value(2), rows->value(3), rows->value(4) });
    m_output.print(listing);
    return Done;
}
