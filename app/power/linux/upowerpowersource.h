// SPDX-License-Identifier: MIT
#pragma once

#include "powersource.h"

#include <QDBusConnection>
#include <QVariantMap>

class QDBusServiceWatcher;

// The power source as UPower tells it on the system bus: OnBattery of the daemon, and the
// display device (all batteries as one) for whether a battery is present and its charge. Every
// question is asked without waiting; afterwards only PropertiesChanged brings news, and the
// daemon's arrival or departure starts over.
class UPowerPowerSource : public PowerSource
{
    Q_OBJECT

public:
    explicit UPowerPowerSource(const QDBusConnection &bus = QDBusConnection::systemBus(),
                               QObject *parent = nullptr);
    State state() const override { return m_state; }

private:
    void askAll();
    void ask(const QString &path, const QString &interface);
    void merge(const QVariantMap &properties);
    void forget();

    QDBusConnection m_bus;
    QDBusServiceWatcher *m_watcher = nullptr;
    QVariantMap m_properties; // both objects' properties: their names do not overlap
    State m_state;
};
