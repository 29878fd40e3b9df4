// SPDX-License-Identifier: MIT
#include "appcast.h"

#include "networkaccess.h"
#include "versionorder.h"

#include <QRegularExpression>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QXmlStreamReader>

namespace {
bool isPlain(const QXmlStreamReader &reader, QLatin1String name)
{
    return reader.namespaceUri().isEmpty() && reader.name() == name;
}

bool isOurs(const QXmlStreamReader &reader, QLatin1String name)
{
    return reader.namespaceUri() == QLatin1String(Appcast::namespaceUri) && reader.name() == name;
}

QUrl allowedUrl(const QString &text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    return NetworkAccess::isAllowed(url) ? url : QUrl();
}

// Release notes go to a plain-text view: markup is read, never rendered, and nothing it names
// is fetched; images would only leave their placeholder. Notes without markup stay as written.
QString plainNotes(const QString &notes)
{
    if (!Qt::mightBeRichText(notes))
        return notes.trimmed();
    return QTextDocumentFragment::fromHtml(notes)
        .toPlainText()
        .remove(QChar::ObjectReplacementCharacter)
        .trimmed();
}

QByteArray sha256FromHex(QStringView text)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9a-fA-F]{64}$"));
    const QString trimmed = text.trimmed().toString();
    return hex.match(trimmed).hasMatch() ? QByteArray::fromHex(trimmed.toLatin1()) : QByteArray();
}

void readEnclosure(const QXmlStreamAttributes &attributes, Appcast::Item &item)
{
    item.fileUrl = allowedUrl(attributes.value(QLatin1String("url")).toString());
    bool ok = false;
    const qint64 length = attributes.value(QLatin1String("length")).toLongLong(&ok);
    item.fileLength = ok && length > 0 ? length : -1;
    item.fileSha256 = sha256FromHex(
        attributes.value(QLatin1String(Appcast::namespaceUri), QLatin1String("sha256")));
}

std::optional<Appcast::Item> readItem(QXmlStreamReader &reader)
{
    Appcast::Item item;
    while (reader.readNextStartElement()) {
        if (isOurs(reader, QLatin1String("version")))
            item.version = reader.readElementText().trimmed();
        else if (isPlain(reader, QLatin1String("link")))
            item.downloadPage = allowedUrl(reader.readElementText());
        else if (isPlain(reader, QLatin1String("description")))
            item.releaseNotes
                = plainNotes(reader.readElementText(QXmlStreamReader::IncludeChildElements));
        else if (isPlain(reader, QLatin1String("enclosure")))
            readEnclosure(reader.attributes(), item);
        if (!reader.isEndElement())
            reader.skipCurrentElement();
    }
    return VersionOrder::isValid(item.version) ? std::optional(item) : std::nullopt;
}
} // namespace

bool Appcast::Item::hasVerifiableFile() const
{
    return fileUrl.isValid() && fileLength > 0 && fileSha256.size() == 32;
}

std::optional<Appcast> Appcast::parse(const QByteArray &xml)
{
    QXmlStreamReader reader(xml);
    if (!reader.readNextStartElement() || !isPlain(reader, QLatin1String("rss")))
        return std::nullopt;
    Appcast feed;
    bool usable = false;
    while (reader.readNextStartElement()) {
        if (isPlain(reader, QLatin1String("channel")))
            usable = feed.readChannel(reader);
        else
            reader.skipCurrentElement();
    }
    while (!reader.atEnd())
        reader.readNext();
    return usable && !reader.hasError() ? std::optional(feed) : std::nullopt;
}

// False when the channel lists items and none of them is usable.
bool Appcast::readChannel(QXmlStreamReader &reader)
{
    int listed = 0;
    while (reader.readNextStartElement()) {
        if (!isPlain(reader, QLatin1String("item"))) {
            reader.skipCurrentElement();
            continue;
        }
        ++listed;
        if (const std::optional<Item> item = readItem(reader))
            m_items.append(*item);
    }
    return listed == 0 || !m_items.isEmpty();
}

std::optional<Appcast::Item> Appcast::newest() const
{
    const auto it
        = std::max_element(m_items.cbegin(), m_items.cend(), [](const Item &a, const Item &b) {
              return VersionOrder::compare(a.version, b.version) < 0;
          });
    return it == m_items.cend() ? std::nullopt : std::optional(*it);
}
