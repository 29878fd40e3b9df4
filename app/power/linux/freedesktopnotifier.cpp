// SPDX-License-Identifier: MIT
#include "freedesktopnotifier.h"

#include "desktopidentity.h"
#include "notificationsproxy.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>

namespace {
const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");

QDBusMessage call(const QString &method)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, service, method);
    message.setAutoStartService(true); // servers are commonly started on demand
    return message;
}
} // namespace

FreedesktopNotifier::FreedesktopNotifier(const QDBusConnection &bus, QObject *parent)
    : Notifier(parent)
    , m_bus(bus)
{ }

// The server's signals go to every client that listens, for every program's notices: they are
// heard only while a notice of ours is up, so other programs' notices never wake this one.
void FreedesktopNotifier::listen()
{
    if (m_proxy)
        return;
    m_proxy = new NotificationsProxy(m_bus, this);
    connect(m_proxy, &NotificationsProxy::ActionInvoked, this, [this](uint id, const QString &key) {
        if (id != 0 && id == m_shownId)
            emit actionInvoked(key);
    });
    connect(m_proxy, &NotificationsProxy::NotificationClosed, this, [this](uint id) {
        if (id != m_shownId)
            return;
        m_shownId = 0;
        std::exchange(m_proxy, nullptr)->deleteLater();
    });
}

void FreedesktopNotifier::show(const Notice &notice)
{
    whenAnswered(m_bus.asyncCall(call(QStringLiteral("GetCapabilities"))),
                 [this, notice](const QDBusMessage &reply) {
                     const QStringList capabilities = reply.arguments().value(0).toStringList();
                     send(notice, capabilities.contains(QLatin1String("actions")));
                 });
}

void FreedesktopNotifier::send(const Notice &notice, bool withActions)
{
    QStringList actions;
    for (const Action &action : notice.actions) {
        if (withActions)
            actions << action.key << action.label;
    }
    const QString desktopId = QString::fromLatin1(DesktopIdentity::desktopId);
    const QVariantMap hints { { QStringLiteral("desktop-entry"), desktopId },
                              { QStringLiteral("urgency"), QVariant::fromValue(uchar(1)) } };
    listen();
    QDBusMessage message = call(QStringLiteral("Notify"));
    message << QStringLiteral("Veluna") << m_shownId << desktopId << notice.summary << notice.body
            << actions << hints << -1;
    whenAnswered(m_bus.asyncCall(message), [this](const QDBusMessage &reply) {
        m_shownId = reply.arguments().value(0).toUInt();
    });
}

// Errors leave the notice unshown: a notice is never worth a dialog of its own.
void FreedesktopNotifier::whenAnswered(const QDBusPendingCall &pending,
                                       std::function<void(const QDBusMessage &)> handler)
{
    auto *watcher = new QDBusPendingCallWatcher(pending, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [handler = std::move(handler)](QDBusPendingCallWatcher *answered) {
                if (!answered->isError())
                    handler(answered->reply());
                answered->deleteLater();
            });
}
