// SPDX-License-Identifier: MIT
#pragma once

#include "powerassertions.h"

#include <QDBusPendingCall>
#include <QString>

#include <optional>

class QDBusMessage;

// One inhibition held from one desktop service: what the service handed out (a cookie, a portal
// request handle or the logind file descriptor) and the unique bus name of the process that
// handed it out, so that giveBack() returns it to exactly that process and no other. A grant is
// moved, never copied, because it may own the logind descriptor; destroying it without
// giveBack() drops only our side, which is what we want once the service itself has gone.
// Nothing here waits for a service: requests and releases are sent, and answered later.
class InhibitGrant
{
public:
    enum class Service { GnomeSession, PowerManagement, ScreenSaver, Portal, Logind };

    // Sends the inhibit request; flags are the session manager's or the portal's inhibit bits.
    // The call is answered within a few seconds at most, by the service or by its timeout.
    static QDBusPendingCall ask(Service service, quint32 flags, const QString &reason);
    // The grant an answer to ask() carries, or nothing when it is an error or not what that
    // service promises.
    static std::optional<InhibitGrant> fromReply(Service service, const QDBusMessage &reply);
    // The unique name owning the service's bus name, or nothing; asks only the bus itself.
    static QString ownerOf(Service service);
    static QString busName(Service service);
    static bool onSystemBus(Service service);

    InhibitGrant(InhibitGrant &&other) noexcept;
    InhibitGrant &operator=(InhibitGrant &&other) noexcept;
    InhibitGrant(const InhibitGrant &) = delete;
    InhibitGrant &operator=(const InhibitGrant &) = delete;
    ~InhibitGrant();

    Service service() const { return m_service; }
    const QString &owner() const { return m_owner; }
    // Returns the inhibition to the process that granted it; afterwards the grant is empty. The
    // release is in flight when this returns: its call, for whoever wants to see it through.
    std::optional<QDBusPendingCall> giveBack();

private:
    InhibitGrant(Service service, const QString &owner);
    bool keep(const QDBusMessage &reply);
    void closeDescriptor();

    Service m_service;
    QString m_owner;
    quint32 m_cookie = 0;
    QString m_requestPath;
    int m_fd = -1;
    bool m_held = false;
};
