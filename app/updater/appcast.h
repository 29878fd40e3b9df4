// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

class QXmlStreamReader;

// The update feed: an RSS 2.0 channel whose items are releases. Each item carries its version in
// <veluna:version>, its release notes in <description> (HTML allowed, turned into plain text
// here), the download page in <link>, and the file in <enclosure url length type
// veluna:sha256>, the prefix standing for the namespace below. Addresses that are not secure
// (see NetworkAccess::isAllowed) are dropped; items without a version are skipped.
class Appcast
{
public:
    static constexpr char namespaceUri[] = "https://plenox.app/xmlns/appcast";

    struct Item
    {
        QString version;
        QString releaseNotes;
        QUrl downloadPage;
        QUrl fileUrl;
        qint64 fileLength = -1;
        QByteArray fileSha256;

        // A file the updater may fetch by itself: an address, a size and a digest to check.
        bool hasVerifiableFile() const;
    };

    // Nothing when the text is not well-formed XML, not an RSS channel, or lists items of which
    // none is usable. A channel without items is a valid, empty feed.
    static std::optional<Appcast> parse(const QByteArray &xml);

    const QList<Item> &items() const { return m_items; }
    // The item with the highest version.
    std::optional<Item> newest() const;

private:
    bool readChannel(QXmlStreamReader &reader);

    QList<Item> m_items;
};
