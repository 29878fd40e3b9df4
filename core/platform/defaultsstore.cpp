// SPDX-License-Identifier: MIT
#include "defaultsstore.h"

#include "jsonsettingsformat.h"
#include "settingsfile.h"
#include "systemlog.h"

#include <QStandardPaths>

namespace {
struct Store
{
    SettingsFile::Contents file = SettingsFile::load(DefaultsStore::filePath());
    QString failurePath;
    std::function<void(const QString &)> listener;
};

Store &store()
{
    static Store instance;
    return instance;
}

// An integer may come back from the file as another integer type than it was stored with.
bool isStored(const QVariant &stored, const QVariant &value)
{
    if (DefaultsStore::isInteger(stored) && DefaultsStore::isInteger(value))
        return stored.toLongLong() == value.toLongLong();
    return stored.metaType() == value.metaType() && stored == value;
}

// Told once per failure, not once per change: a full disk would otherwise flood the log.
void noteSaveResult(const QString &error)
{
    Store &s = store();
    if (error.isEmpty()) {
        s.failurePath.clear();
        return;
    }
    if (!s.failurePath.isEmpty())
        return;
    s.failurePath = s.file.writePath;
    SystemLog::write(QStringLiteral("Veluna: impossible d'enregistrer les réglages dans %1 : %2")
                         .arg(s.failurePath, error));
    if (s.listener)
        s.listener(s.failurePath);
}

void commit(const QVariantMap &values, const QString &key)
{
    const QByteArray bytes = JsonSettingsFormat::serialize(values);
    if (bytes.size() > JsonSettingsFormat::maximumFileSize) {
        SystemLog::write(QStringLiteral("Veluna: réglages trop volumineux (%1 octets), %2 non "
                                        "enregistré")
                             .arg(bytes.size())
                             .arg(key));
        return;
    }
    store().file.values = values;
    noteSaveResult(SettingsFile::save(store().file.writePath, bytes));
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
    return store().file.values.value(key);
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
    const QVariantMap &values = store().file.values;
    if (values.contains(key) && isStored(values.value(key), value))
        return;
    QVariantMap changed = values;
    changed.insert(key, value);
    commit(changed, key);
}

void DefaultsStore::remove(const QString &key)
{
    QVariantMap changed = store().file.values;
    if (changed.remove(key) > 0)
        commit(changed, key);
}

void DefaultsStore::clear()
{
    commit({}, QString());
}

void DefaultsStore::reload()
{
    store().file = SettingsFile::load(filePath());
}

QString DefaultsStore::saveFailurePath()
{
    return store().failurePath;
}

void DefaultsStore::setSaveFailureListener(std::function<void(const QString &path)> listener)
{
    Store &s = store();
    s.listener = std::move(listener);
    if (s.listener && !s.failurePath.isEmpty())
        s.listener(s.failurePath);
}
