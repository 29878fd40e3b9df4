// SPDX-License-Identifier: MIT
#include "inhibitgrant.h"

#include "desktopidentity.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QVariantMap>

#include <fcntl.h>
#include <unistd.h>

#include <utility>

namespace {

using Service = InhibitGrant::Service;

// Releases are seen through only while quitting; a hung service may delay that this long.
constexpr int releaseTimeoutMs = 3000;

const QString applicationName = QStringLiteral("Veluna");

struct Endpoint
{
    QString name;
    QString path;
    QString interface;
};

Endpoint endpoint(Service service)
{
    switch (service) {
    case Service::GnomeSession:
        return { "org.gnome.SessionManager", "/org/gnome/SessionManager",
                 "org.gnome.SessionManager" };
    case Service::PowerManagement:
        return { "org.freedesktop.PowerManagement", "/org/freedesktop/PowerManagement/Inhibit",
                 "org.freedesktop.PowerManagement.Inhibit" };
    case Service::ScreenSaver:
        return { "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                 "org.freedesktop.ScreenSaver" };
    case Service::Portal:
        return { "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                 "org.freedesktop.portal.Inhibit" };
    case Service::Logind:
        return { "org.freedesktop.login1", "/org/freedesktop/login1",
                 "org.freedesktop.login1.Manager" };
    }
    Q_UNREACHABLE();
}

QDBusConnection busOf(Service service)
{
    // After the application object is gone Qt's bus connections are being torn down; a grant
    // released that late can only drop its descriptor, and the bus drops the rest with us.
    if (!QCoreApplication::instance())
        return QDBusConnection(QString());
    return InhibitGrant::onSystemBus(service) ? QDBusConnection::systemBus()
                                              : QDBusConnection::sessionBus();
}

// Requests wait for the bus's own deadline: a late grant is still heard, and given back.
QDBusPendingCall send(Service service, const QString &destination, const QString &path,
                      const QString &interface, const QString &method,
                      const QVariantList &arguments, int timeoutMs = -1)
{
    QDBusMessage message = QDBusMessage::createMethodCall(destination, path, interface, method);
    message.setArguments(arguments);
    // Never let the bus start a service for us: we only speak to names that already have an
    // owner, and an activation would stall the call.
    message.setAutoStartService(false);
    return busOf(service).asyncCall(message, timeoutMs);
}

QVariantList inhibitArguments(Service service, quint32 flags, const QString &reason)
{
    switch (service) {
    case Service::GnomeSession:
        return { QString::fromLatin1(DesktopIdentity::desktopId), quint32(0), reason, flags };
    case Service::PowerManagement:
    case Service::ScreenSaver:
        return { applicationName, reason };
    case Service::Portal:
        return { QString(), flags, QVariantMap { { QStringLiteral("reason"), reason } } };
    case Service::Logind:
        // "idle" only: a "sleep" lock would also stop the user from suspending by hand.
        return { QStringLiteral("idle"), applicationName, reason, QStringLiteral("block") };
    }
    Q_UNREACHABLE();
}

QString releaseMethod(Service service)
{
    return service == Service::GnomeSession ? QStringLiteral("Uninhibit")
                                            : QStringLiteral("UnInhibit");
}

template<typename T> std::optional<T> firstArgument(const QDBusMessage &reply)
{
    const QVariant value = reply.arguments().value(0);
    if (value.metaType() != QMetaType::fromType<T>())
        return std::nullopt;
    return value.value<T>();
}

} // namespace

InhibitGrant::InhibitGrant(Service service, const QString &owner)
    : m_service(service)
    , m_owner(owner)
{ }

InhibitGrant::InhibitGrant(InhibitGrant &&other) noexcept
    : m_service(other.m_service)
    , m_owner(std::move(other.m_owner))
    , m_cookie(other.m_cookie)
    , m_requestPath(std::move(other.m_requestPath))
    , m_fd(std::exchange(other.m_fd, -1))
    , m_held(std::exchange(other.m_held, false))
{ }

InhibitGrant &InhibitGrant::operator=(InhibitGrant &&other) noexcept
{
    if (this == &other)
        return *this;
    closeDescriptor();
    m_service = other.m_service;
    m_owner = std::move(other.m_owner);
    m_cookie = other.m_cookie;
    m_requestPath = std::move(other.m_requestPath);
    m_fd = std::exchange(other.m_fd, -1);
    m_held = std::exchange(other.m_held, false);
    return *this;
}

InhibitGrant::~InhibitGrant()
{
    closeDescriptor();
}

QString InhibitGrant::busName(Service service)
{
    return endpoint(service).name;
}

bool InhibitGrant::onSystemBus(Service service)
{
    return service == Service::Logind;
}

QString InhibitGrant::ownerOf(Service service)
{
    const QDBusConnection bus = busOf(service);
    if (!bus.isConnected())
        return {};
    const QDBusReply<QString> owner = bus.interface()->serviceOwner(busName(service));
    return owner.isValid() ? owner.value() : QString();
}

QDBusPendingCall InhibitGrant::ask(Service service, quint32 flags, const QString &reason)
{
    const Endpoint at = endpoint(service);
    return send(service, at.name, at.path, at.interface, QStringLiteral("Inhibit"),
                inhibitArguments(service, flags, reason));
}

std::optional<InhibitGrant> InhibitGrant::fromReply(Service service, const QDBusMessage &reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage)
        return std::nullopt;
    // The reply comes from the owner's unique name: the one process that holds our inhibition.
    InhibitGrant grant(service, reply.service());
    if (!grant.keep(reply))
        return std::nullopt;
    return grant;
}

bool InhibitGrant::keep(const QDBusMessage &reply)
{
    if (m_service == Service::Portal) {
        m_requestPath = firstArgument<QDBusObjectPath>(reply).value_or(QDBusObjectPath()).path();
        m_held = !m_requestPath.isEmpty();
    } else if (m_service == Service::Logind) {
        const auto descriptor = firstArgument<QDBusUnixFileDescriptor>(reply);
        // Our own copy, close-on-exec, so that no program we start keeps the lock alive.
        if (descriptor && descriptor->isValid())
            m_fd = fcntl(descriptor->fileDescriptor(), F_DUPFD_CLOEXEC, 0);
        m_held = m_fd >= 0;
    } else {
        const auto cookie = firstArgument<quint32>(reply);
        m_cookie = cookie.value_or(0);
        m_held = cookie.has_value();
    }
    return m_held;
}

std::optional<QDBusPendingCall> InhibitGrant::giveBack()
{
    if (!std::exchange(m_held, false))
        return std::nullopt;
    closeDescriptor();
    const Endpoint at = endpoint(m_service);
    // Errors are of no use here: a service that has gone has dropped the inhibition already.
    if (m_service == Service::Portal)
        return send(m_service, m_owner, m_requestPath,
                    QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Close"), {},
                    releaseTimeoutMs);
    if (m_service == Service::Logind)
        return std::nullopt;
    return send(m_service, m_owner, at.path, at.interface, releaseMethod(m_service), { m_cookie },
                releaseTimeoutMs);
}

void InhibitGrant::closeDescriptor()
{
    if (m_fd >= 0)
        ::close(std::exchange(m_fd, -1));
}
