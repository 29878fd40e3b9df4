// SPDX-License-Identifier: MIT
#include "settingkeys.h"

#include "defaultsstore.h"

#include <algorithm>
#include <iterator>

namespace SettingKeys {
bool Flag::read() const
{
    return DefaultsStore::boolean(key()).value_or(fallback);
}

void Flag::write(bool on) const
{
    DefaultsStore::setValue(key(), on);
}

std::optional<qint64> Integer::stored() const
{
    return DefaultsStore::integer(key());
}

qint64 Integer::clamped(qint64 value) const
{
    return std::clamp(value, minimum, maximum);
}

qint64 Integer::read() const
{
    return clamped(stored().value_or(fallback));
}

void Integer::write(qint64 value) const
{
    DefaultsStore::setValue(key(), clamped(value));
}

qint64 Choice::clamped(qint64 value) const
{
    const auto above = std::upper_bound(values.begin(), values.end(), value);
    return above == values.begin() ? values.front() : *std::prev(above);
}

qint64 Choice::read() const
{
    return clamped(DefaultsStore::integer(key()).value_or(fallback));
}

void Choice::write(qint64 value) const
{
    DefaultsStore::setValue(key(), clamped(value));
}

std::optional<QString> Text::stored() const
{
    return DefaultsStore::string(key());
}

QString Text::read() const
{
    return stored().value_or(QString::fromLatin1(fallback));
}

void Text::write(const QString &text) const
{
    DefaultsStore::setValue(key(), text);
}

std::optional<QDateTime> Date::read() const
{
    return DefaultsStore::date(key());
}

void Date::write(const QDateTime &date) const
{
    DefaultsStore::setValue(key(), date);
}

QVariant Value::read() const
{
    return DefaultsStore::value(key());
}

void Value::write(const QVariant &value) const
{
    DefaultsStore::setValue(key(), value);
}
} // namespace SettingKeys
