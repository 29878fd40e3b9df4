// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QUrl>

// Update feeds as the maker's server publishes them; extra goes inside the release's <item>.
namespace UpdateFeeds {
QByteArray feed(const QByteArray &items);
QByteArray item(const QByteArray &version, const QByteArray &extra = {});
// A feed of one release with its download page.
QByteArray withRelease(const QByteArray &version, const QByteArray &extra = {});
// The <enclosure> of a release's file, announcing the length and SHA-256 of data.
QByteArray enclosure(const QUrl &url, const QByteArray &data);
} // namespace UpdateFeeds
