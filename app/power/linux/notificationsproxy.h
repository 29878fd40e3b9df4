// SPDX-License-Identifier: MIT
#pragma once

#include <QDBusAbstractInterface>

// The signals of the desktop's notification server, from its current owner only.
class NotificationsProxy : public QDBusAbstractInterface
{
    Q_OBJECT

public:
    explicit NotificationsProxy(const QDBusConnection &bus, QObject *parent = nullptr)
        : QDBusAbstractInterface("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                                 "org.freedesktop.Notifications", bus, parent)
    { }

signals:
    void ActionInvoked(uint id, const QString &key);
    void NotificationClosed(uint id, uint reason);
};
