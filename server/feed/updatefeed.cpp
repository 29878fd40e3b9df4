// SPDX-License-Identifier: MIT
#include "updatefeed.h"

#include <QDateTime>
#include <QLocale>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimeZone>
#include <QXmlStreamWriter>

namespace {
// RSS wants RFC 822 dates with English names, whatever the server's locale.
QString rssDate(qint64 seconds)
{
    return QLocale::c().toString(QDateTime::fromSecsSinceEpoch(seconds, QTimeZone::utc()),
                                 QStringLiteral("ddd, dd MMM yyyy HH:mm:ss '+0000'"));
}

void writeItem(QXmlStreamWriter &xml, const UpdateFeed::Release &release)
{
    xml.writeStartElement(QStringLiteral("item"));
    xml.writeTextElement(QStringLiteral("title"), QStringLiteral("Veluna ") + release.version);
    xml.writeTextElement(UpdateFeed::namespaceUri, QStringLiteral("version"), release.version);
    xml.writeTextElement(QStringLiteral("description"), release.notes);
    xml.writeTextElement(QStringLiteral("link"), release.url);
    xml.writeStartElement(QStringLiteral("guid"));
    xml.writeAttribute(QStringLiteral("isPermaLink"), QStringLiteral("false"));
    xml.writeCharacters(release.version);
    xml.writeEndElement();
    xml.writeTextElement(QStringLiteral("pubDate"), rssDate(release.publishedAt));
    xml.writeEmptyElement(QStringLiteral("enclosure"));
    xml.writeAttribute(QStringLiteral("url"), release.url);
    xml.writeAttribute(QStringLiteral("length"), QString::number(release.length));
    xml.writeAttribute(QStringLiteral("type"), QStringLiteral("application/octet-stream"));
    xml.writeAttribute(UpdateFeed::namespaceUri, QStringLiteral("sha256"), release.sha256);
    xml.writeEndElement();
}
} // namespace

std::optional<QList<UpdateFeed::Release>> UpdateFeed::releases(QSqlDatabase &db)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT version, notes, url, length, sha256, published_at "
                                   "FROM releases ORDER BY published_at DESC, id DESC")))
        return std::nullopt;
    QList<Release> found;
    while (query.next())
        found.append({ query.value(0).toString(), query.value(1).toString(),
                       query.value(2).toString(), query.value(3).toLongLong(),
                       query.value(4).toString(), query.value(5).toLongLong() });
    return found;
}

QByteArray UpdateFeed::render(const QList<Release> &releases)
{
    QByteArray text;
    QXmlStreamWriter xml(&text);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("rss"));
    xml.writeNamespace(namespaceUri, QStringLiteral("veluna"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("2.0"));
    xml.writeStartElement(QStringLiteral("channel"));
    xml.writeTextElement(QStringLiteral("title"), QStringLiteral("Veluna"));
    xml.writeTextElement(QStringLiteral("description"), QStringLiteral("Releases of Veluna"));
    for (const Release &release : releases)
        writeItem(xml, release);
    xml.writeEndDocument();
    return text;
}

std::optional<QByteArray> UpdateFeed::render(QSqlDatabase &db)
{
    const std::optional<QList<Release>> published = releases(db);
    return published ? std::optional(render(*published)) : std::nullopt;
}
