// SPDX-License-Identifier: MIT
#pragma once

#include <QDBusAbstractInterface>
#include <QStringList>
#include <QVariantMap>

// One object's org.freedesktop.DBus.Properties as Qt signals: connecting to propertiesChanged
// makes the bus deliver that object's PropertiesChanged from its owner, and only from it.
class PropertiesProxy : public QDBusAbstractInterface
{
    Q_OBJECT

public:
    PropertiesProxy(const QString &service, const QString &path, const QDBusConnection &bus,
                    QObject *parent = nullptr)
        : QDBusAbstractInterface(service, path, "org.freedesktop.DBus.Properties", bus, parent)
    { }

signals:
    void PropertiesChanged(const QString &interface, const QVariantMap &changed,
                           const QStringList &invalidated);
};
