// SPDX-License-Identifier: MIT
#include "requestbody.h"

#include <QJsonDocument>
#include <QJsonValue>
#include <QStringDecoder>

#include <cmath>

namespace {

using RequestBody::Member;
using RequestBody::Type;

// Qt's parser replaces broken UTF-8 instead of refusing it, so the bytes are checked first.
bool isUtf8(const QByteArray &body)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    [[maybe_unused]] const QString text = decoder.decode(body);
    return !decoder.hasError();
}

// A JSON number is an integer when it has no fraction and fits the exact range of a double.
bool isInteger(const QJsonValue &value)
{
    constexpr double exact = 9007199254740991.0; // 2^53 - 1
    const double number = value.toDouble();
    return value.isDouble() && std::trunc(number) == number && std::fabs(number) <= exact;
}

bool fits(const QJsonValue &value, const Member &member)
{
    if (member.type == Type::Integer)
        return isInteger(value);
    return value.isString() && value.toString().size() <= member.maxLength;
}

} // namespace

std::optional<QJsonObject> RequestBody::parse(const QByteArray &body,
                                              std::initializer_list<Member> members)
{
    if (!isUtf8(body))
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    for (const Member &member : members) {
        const auto found = object.constFind(QLatin1String(member.name));
        if (found == object.constEnd() ? member.required : !fits(*found, member))
            return std::nullopt;
    }
    return object;
}
