#pragma once

#include <QByteArray>
#include <QUrl>

// Update feeds as the maker's server publishes them, for the updater's tests.
namespace UpdateFeeds {
QByteArray feed(const QByteArray &items);
// One release of the given version; extra is added inside its <item>.
QByteArray item(const QByteArray &version, const QByteArray &extra = {});
// A feed of one release with its download page.
QByteArray withRelease(const QByteArray &version, const QByteArray &extra = {});
// The <enclosure> of a release's file.
QByteArray enclosure(const QUrl &url, qint64 length, const QByteArray &sha256);
QByteArray sha256(const QByteArray &data);
} // namespace UpdateFeeds
