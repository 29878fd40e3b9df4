// SPDX-License-Identifier: MIT
#include "portalnotifier.h"

#include "portalnotificationproxy.h"

#include <QDBusMessage>
#include <QDBusMetaType>

namespace {
const QString noticeId = QStringLiteral("period");
} // namespace

PortalNotifier::PortalNotifier(const QDBusConnection &bus, QObject *parent)
    : Notifier(parent)
    , m_bus(bus)
{
    qDBusRegisterMetaType<QList<QVariantMap>>();
    auto *proxy = new PortalNotificationProxy(bus, this);
    connect(proxy, &PortalNotificationProxy::ActionInvoked, this,
            [this](const QString &id, const QString &action) {
                if (id == noticeId)
                    emit actionInvoked(action);
            });
}

void PortalNotifier::show(const Notice &notice)
{
    QList<QVariantMap> buttons;
    for (const Action &action : notice.actions)
        buttons.append({ { QStringLiteral("label"), action.label },
                         { QStringLiteral("action"), action.key } });
    QVariantMap content { { QStringLiteral("title"), notice.summary },
                          { QStringLiteral("body"), notice.body } };
    if (!buttons.isEmpty())
        content.insert(QStringLiteral("buttons"), QVariant::fromValue(buttons));
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"),
        QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Notification"), QStringLiteral("AddNotification"));
    message << noticeId << content;
    m_bus.asyncCall(message); // a notice that cannot be shown is not worth more
}
