// SPDX-License-Identifier: MIT
#pragma once

#include "notifier.h"

#include <QDBusConnection>

// Notices through the desktop portal (org.freedesktop.portal.Notification), the way out of a
// sandbox. Every notice has the same id, so the portal replaces the one shown before; the
// portal shows buttons wherever it can.
class PortalNotifier : public Notifier
{
    Q_OBJECT

public:
    explicit PortalNotifier(const QDBusConnection &bus = QDBusConnection::sessionBus(),
                            QObject *parent = nullptr);
    void show(const Notice &notice) override;

private:
    QDBusConnection m_bus;
};
