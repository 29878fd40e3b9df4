// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QJsonObject>

#include <initializer_list>
#include <optional>

// A request body checked against the members an exchange expects: it must be UTF-8 holding one
// JSON object, and every listed member must have its type and fit its length. Members not listed
// are ignored, so a newer program can send more. Anything else is refused as a whole, so a bad
// request stores nothing.
namespace RequestBody {
enum class Type { String, Integer };

struct Member
{
    const char *name;
    Type type;
    bool required;
    qsizetype maxLength = 0; // strings: characters (UTF-16 units); 0 for integers
};

// The checked object, or nothing when the body breaks any rule.
std::optional<QJsonObject> parse(const QByteArray &body, std::initializer_list<Member> members);
} // namespace RequestBody
