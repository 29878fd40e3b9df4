// SPDX-License-Identifier: MIT
#pragma once

#include <QDBusAbstractInterface>
#include <QVariantList>

// The signal of the desktop portal's notification interface, from the portal only.
class PortalNotificationProxy : public QDBusAbstractInterface
{
    Q_OBJECT

public:
    explicit PortalNotificationProxy(const QDBusConnection &bus, QObject *parent = nullptr)
        : QDBusAbstractInterface("org.freedesktop.portal.Desktop",
                                 "/org/freedesktop/portal/desktop",
                                 "org.freedesktop.portal.Notification", bus, parent)
    { }

signals:
    void ActionInvoked(const QString &id, const QString &action, const QVariantList &parameter);
};
