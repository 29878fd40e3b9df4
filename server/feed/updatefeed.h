// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

class QSqlDatabase;

// The update feed the app's updater reads: an RSS 2.0 channel with one item per published
// release, newest first. Each item gives its version and the file's SHA-256 in the app's own
// namespace, its notes as the description, and the file as the enclosure with its length, so
// the updater can fetch and check the file by itself.
class UpdateFeed
{
public:
    static constexpr char namespaceUri[] = "https://plenox.app/xmlns/appcast";

    struct Release
    {
        QString version;
        QString notes;
        QString url;
        qint64 length = 0;
        QString sha256; // 64 hexadecimal digits
        qint64 publishedAt = 0; // Unix seconds, UTC
    };

    // The releases table, newest first; nothing when the database cannot be read.
    static std::optional<QList<Release>> releases(QSqlDatabase &db);
    static QByteArray render(const QList<Release> &releases);
    // The feed of what is published; nothing when the database cannot be read (a 500, not an
    // empty feed, which would tell every app that nothing is there).
    static std::optional<QByteArray> render(QSqlDatabase &db);
};
