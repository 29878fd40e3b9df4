#include "jsonsettingsformat.h"

#include "systemlog.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {
const QString dateTag = QStringLiteral("$date");
constexpr qint64 maximumFileSize = 4 * 1024 * 1024;

QJsonValue toJson(const QVariant &value);

QJsonArray toJsonArray(const QVariantList &list)
{
    QJsonArray array;
    for (const QVariant &item : list)
        array.append(toJson(item));
    return array;
}

QJsonObject toJsonObject(const QVariantMap &map)
{
    QJsonObject object;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        object.insert(it.key(), toJson(it.value()));
    return object;
}

QJsonValue toJson(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QDateTime:
        return QJsonObject { { dateTag, value.toDateTime().toUTC().toString(Qt::ISODateWithMs) } };
    case QMetaType::QVariantList:
    case QMetaType::QStringList:
        return toJsonArray(value.toList());
    case QMetaType::QVariantMap:
        return toJsonObject(value.toMap());
    default:
        return QJsonValue::fromVariant(value);
    }
}

QVariant fromJson(const QJsonValue &value);

QVariant fromJsonObject(const QJsonObject &object)
{
    if (object.size() == 1 && object.value(dateTag).isString()) {
        const QDateTime date = QDateTime::fromString(object.value(dateTag).toString(), Qt::ISODate);
        return date.isValid() ? QVariant(date) : QVariant();
    }
    QVariantMap map;
    for (auto it = object.begin(); it != object.end(); ++it)
        map.insert(it.key(), fromJson(it.value()));
    return map;
}

QVariant fromJsonNumber(double number)
{
    // JSON has one number type; a whole number in range is an integer setting.
    if (std::trunc(number) == number && std::abs(number) < 9.0e15)
        return QVariant(qint64(number));
    return QVariant(number);
}

QVariant fromJson(const QJsonValue &value)
{
    if (value.isDouble())
        return fromJsonNumber(value.toDouble());
    if (value.isObject())
        return fromJsonObject(value.toObject());
    if (value.isArray()) {
        QVariantList list;
        for (const QJsonValue &item : value.toArray())
            list.append(fromJson(item));
        return list;
    }
    return value.toVariant();
}

QString unusedBackupPath(const QString &path)
{
    QString candidate = path + QStringLiteral(".unreadable");
    for (int n = 2; QFile::exists(candidate); ++n)
        candidate = path + QStringLiteral(".unreadable-%1").arg(n);
    return candidate;
}

bool sameContents(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(maximumFileSize + 1) == contents;
}

void keepUnreadableCopy(const QIODevice &device, const QByteArray &contents)
{
    const auto *file = qobject_cast<const QFile *>(&device);
    if (!file || contents.trimmed().isEmpty())
        return;
    const QString path = file->fileName();
    if (sameContents(path + QStringLiteral(".unreadable"), contents))
        return;
    const QString backup = unusedBackupPath(path);
    if (QFile::copy(path, backup))
        SystemLog::write(QStringLiteral("Veluna: réglages illisibles, copie conservée dans ")
                         + backup);
}
} // namespace

QSettings::Format JsonSettingsFormat::format()
{
    static const QSettings::Format registered
        = QSettings::registerFormat(QStringLiteral("json"), &JsonSettingsFormat::read,
                                    &JsonSettingsFormat::write, Qt::CaseSensitive);
    return registered;
}

bool JsonSettingsFormat::read(QIODevice &device, QSettings::SettingsMap &map)
{
    const QByteArray contents = device.read(maximumFileSize + 1);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(contents, &error);
    if (contents.size() > maximumFileSize || error.error != QJsonParseError::NoError
        || !document.isObject()) {
        keepUnreadableCopy(device, contents);
        return true;
    }
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it)
        map.insert(it.key(), fromJson(it.value()));
    return true;
}

bool JsonSettingsFormat::write(QIODevice &device, const QSettings::SettingsMap &map)
{
    QJsonObject object;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        object.insert(it.key(), toJson(it.value()));
    const QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Indented);
    return device.write(bytes) == bytes.size();
}
