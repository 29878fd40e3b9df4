// SPDX-License-Identifier: MIT
#pragma once

#include "notifier.h"

#include <QDBusConnection>

class NotificationsProxy;
class QDBusPendingCall;

// Notices through the desktop's notification server (org.freedesktop.Notifications). The
// server is asked what it can show before each notice, so buttons go only to one that lists
// "actions"; each notice replaces the one before. Nothing waits for an answer.
class FreedesktopNotifier : public Notifier
{
    Q_OBJECT

public:
    explicit FreedesktopNotifier(const QDBusConnection &bus = QDBusConnection::sessionBus(),
                                 QObject *parent = nullptr);
    void show(const Notice &notice) override;

private:
    void listen();
    void send(const Notice &notice, bool withActions);
    void whenAnswered(const QDBusPendingCall &call,
                      std::function<void(const QDBusMessage &)> handler);

    QDBusConnection m_bus;
    uint m_shownId = 0; // the server's id of the notice shown last; 0 when none is
    NotificationsProxy *m_proxy = nullptr; // while a notice may be up
};
