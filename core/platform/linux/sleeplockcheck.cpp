// SPDX-License-Identifier: MIT
#include "sleeplockcheck.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>

namespace {

constexpr int callTimeoutMs = 3000;
// The session manager takes its lock right after answering us; give it a moment.
constexpr int settleMs = 300;

using Done = std::function<void(bool)>;

void whenAnswered(const QDBusPendingCall &call, QObject *context,
                  std::function<void(const QDBusMessage &)> handler)
{
    auto *watcher = new QDBusPendingCallWatcher(call, context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [watcher, handler = std::move(handler)] {
                         handler(watcher->reply());
                         watcher->deleteLater();
                     });
}

bool holdsSleepBlock(const QDBusMessage &reply, uint pid)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != u"a(ssssuu)")
        return false;
    const QDBusArgument list = reply.arguments().value(0).value<QDBusArgument>();
    bool found = false;
    list.beginArray();
    while (!list.atEnd()) {
        QString what, who, why, mode;
        uint uid = 0, holder = 0;
        list.beginStructure();
        list >> what >> who >> why >> mode >> uid >> holder;
        list.endStructure();
        found = found || (holder == pid && mode == u"block" && what.split(u':').contains(u"sleep"));
    }
    list.endArray();
    return found;
}

void listInhibitors(uint pid, QObject *context, Done done)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("ListInhibitors"));
    message.setAutoStartService(false);
    whenAnswered(QDBusConnection::systemBus().asyncCall(message, callTimeoutMs), context,
                 [pid, done](const QDBusMessage &reply) { done(holdsSleepBlock(reply, pid)); });
}

} // namespace

void SleepLockCheck::run(const QString &owner, QObject *context, Done done)
{
    QTimer::singleShot(settleMs, context, [owner, context, done = std::move(done)] {
        const QDBusMessage message
            = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                             QStringLiteral("/org/freedesktop/DBus"),
                                             QStringLiteral("org.freedesktop.DBus"),
                                             QStringLiteral("GetConnectionUnixProcessID"))
            << owner;
        whenAnswered(QDBusConnection::sessionBus().asyncCall(message, callTimeoutMs), context,
                     [context, done](const QDBusMessage &reply) {
                         const uint pid = reply.arguments().value(0).toUInt();
                         if (reply.type() != QDBusMessage::ReplyMessage || pid == 0)
                             return done(false);
                         listInhibitors(pid, context, done);
                     });
    });
}
