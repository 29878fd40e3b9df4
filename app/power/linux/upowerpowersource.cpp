// SPDX-License-Identifier: MIT
#include "upowerpowersource.h"

#include "propertiesproxy.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>

namespace {
const QString service = QStringLiteral("org.freedesktop.UPower");
const QString daemonPath = QStringLiteral("/org/freedesktop/UPower");
const QString devicePath = QStringLiteral("/org/freedesktop/UPower/devices/DisplayDevice");
const QString deviceInterface = QStringLiteral("org.freedesktop.UPower.Device");
constexpr uint kindBattery = 2;
constexpr uint stateUnknown = 0;
} // namespace

UPowerPowerSource::UPowerPowerSource(const QDBusConnection &bus, QObject *parent)
    : PowerSource(parent)
    , m_bus(bus)
    , m_watcher(
          new QDBusServiceWatcher(service, bus, QDBusServiceWatcher::WatchForOwnerChange, this))
{
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &, const QString &owner) {
                forget();
                if (!owner.isEmpty())
                    askAll();
            });
    for (const QString &path : { daemonPath, devicePath }) {
        auto *proxy = new PropertiesProxy(service, path, bus, this);
        connect(proxy, &PropertiesProxy::PropertiesChanged, this,
                [this](const QString &, const QVariantMap &changed) { merge(changed); });
    }
    askAll();
}

void UPowerPowerSource::askAll()
{
    ask(daemonPath, service);
    ask(devicePath, deviceInterface);
}

void UPowerPowerSource::ask(const QString &path, const QString &interface)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
    message << interface;
    message.setAutoStartService(false); // a machine without UPower just has no rules
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher *call) {
                const QDBusPendingReply<QVariantMap> reply = *call;
                if (reply.isValid())
                    merge(reply.value());
                call->deleteLater();
            });
}

void UPowerPowerSource::merge(const QVariantMap &properties)
{
    for (auto it = properties.cbegin(); it != properties.cend(); ++it)
        m_properties.insert(it.key(), it.value());
    const bool known = m_properties.contains(QStringLiteral("OnBattery"))
        && m_properties.contains(QStringLiteral("IsPresent"));
    State next;
    next.hasBattery = known && m_properties.value(QStringLiteral("IsPresent")).toBool()
        && m_properties.value(QStringLiteral("Type")).toUInt() == kindBattery
        && m_properties.value(QStringLiteral("State")).toUInt() != stateUnknown;
    next.onBattery = m_properties.value(QStringLiteral("OnBattery")).toBool();
    next.percentage = m_properties.value(QStringLiteral("Percentage"), 100.0).toDouble();
    if (std::exchange(m_state, next) != next)
        emit changed();
}

void UPowerPowerSource::forget()
{
    m_properties.clear();
    if (std::exchange(m_state, State {}) != State {})
        emit changed();
}
