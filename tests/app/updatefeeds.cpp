// SPDX-License-Identifier: MIT
#include "updatefeeds.h"

#include <QCryptographicHash>

QByteArray UpdateFeeds::feed(const QByteArray &items)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<rss version=\"2.0\" xmlns:veluna=\"https://plenox.app/xmlns/appcast\">\n"
           "<channel><title>Veluna</title><link>https://plenox.app</link>\n"
        + items + "</channel></rss>\n";
}

QByteArray UpdateFeeds::item(const QByteArray &version, const QByteArray &extra)
{
    return "<item><title>Veluna " + version + "</title><veluna:version>" + version
        + "</veluna:version>" + extra + "</item>\n";
}

QByteArray UpdateFeeds::withRelease(const QByteArray &version, const QByteArray &extra)
{
    return feed(item(version, "<link>https://plenox.app/veluna/" + version + "</link>" + extra));
}

QByteArray UpdateFeeds::enclosure(const QUrl &url, const QByteArray &data)
{
    return "<enclosure url=\"" + url.toEncoded() + "\" length=\"" + QByteArray::number(data.size())
        + "\" veluna:sha256=\"" + QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex()
        + "\"/>";
}
