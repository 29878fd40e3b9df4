// SPDX-License-Identifier: MIT
#include "jsonsettingsformat.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {
const QString dateTag = QStringLiteral("$date");

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

QVariant fromJson(const QJsonValue &value)
{
    if (value.isDouble()) {
        const std::optional<qint64> integer = JsonSettingsFormat::integerOf(value);
        return integer ? QVariant(*integer) : QVariant(value.toDouble());
    }
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
} // namespace

std::optional<qint64> JsonSettingsFormat::integerOf(const QJsonValue &value)
{
    // Beyond 2^53 a double no longer holds every whole number: such a number may be another one
    // rounded.
    constexpr double exactLimit = 9007199254740992.0;
    const double number = value.toDouble();
    if (!value.isDouble() || std::trunc(number) != number || std::abs(number) >= exactLimit)
        return std::nullopt;
    return qint64(number);
}

std::optional<QVariantMap> JsonSettingsFormat::parse(const QByteArray &bytes)
{
    if (bytes.size() > maximumFileSize)
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    QVariantMap values;
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it)
        values.insert(it.key(), fromJson(it.value()));
    return values;
}

QByteArray JsonSettingsFormat::serialize(const QVariantMap &values)
{
    return QJsonDocument(toJsonObject(values)).toJson(QJsonDocument::Indented);
}
