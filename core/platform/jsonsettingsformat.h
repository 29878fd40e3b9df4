#pragma once

#include <QSettings>

// A QSettings format that stores the user's defaults as one JSON object. Types survive a round
// trip: integers, booleans, strings, lists, maps, and dates (as {"$date": "<ISO 8601>"}).
// A file that is not a JSON object reads as empty, and a copy of it is kept beside it first,
// so the next write never destroys what the user had.
namespace JsonSettingsFormat {
QSettings::Format format();
bool read(QIODevice &device, QSettings::SettingsMap &map);
bool write(QIODevice &device, const QSettings::SettingsMap &map);
} // namespace JsonSettingsFormat
