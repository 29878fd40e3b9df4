#include "defaultsstore.h"

#include "jsonsettingsformat.h"

#include <QSettings>
#include <QStandardPaths>

namespace {
QSettings &settings()
{
    static QSettings instance(DefaultsStore::filePath(), JsonSettingsFormat::format());
    return instance;
}

// An integer may come back from the file as another integer type than it was stored with.
bool isStored(const QVariant &stored, const QVariant &value)
{
    if (DefaultsStore::isInteger(stored) && DefaultsStore::isInteger(value))
        return stored.toLongLong() == value.toLongLong();
    return stored.metaType() == value.metaType() && stored == value;
}
} // namespace

QString DefaultsStore::filePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/veluna/veluna.json");
}

bool DefaultsStore::isInteger(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return true;
    default:
        return false;
    }
}

QVariant DefaultsStore::value(const QString &key)
{
    return settings().value(key);
}

std::optional<qint64> DefaultsStore::integer(const QString &key)
{
    const QVariant stored = value(key);
    return isInteger(stored) ? std::optional(stored.toLongLong()) : std::nullopt;
}

std::optional<bool> DefaultsStore::boolean(const QString &key)
{
    const QVariant stored = value(key);
    return stored.typeId() == QMetaType::Bool ? std::optional(stored.toBool()) : std::nullopt;
}

std::optional<QString> DefaultsStore::string(const QString &key)
{
    const QVariant stored = value(key);
    return stored.typeId() == QMetaType::QString ? std::optional(stored.toString()) : std::nullopt;
}

std::optional<QDateTime> DefaultsStore::date(const QString &key)
{
    const QVariant stored = value(key);
    return stored.typeId() == QMetaType::QDateTime ? std::optional(stored.toDateTime())
                                                   : std::nullopt;
}

// Every launch stores a few values that rarely change; rewriting (and syncing) the file for them
// would cost a disk write per launch for nothing.
void DefaultsStore::setValue(const QString &key, const QVariant &value)
{
    if (settings().contains(key) && isStored(settings().value(key), value))
        return;
    settings().setValue(key, value);
    settings().sync();
}

void DefaultsStore::remove(const QString &key)
{
    settings().remove(key);
    settings().sync();
}

void DefaultsStore::clear()
{
    settings().clear();
    settings().sync();
}
