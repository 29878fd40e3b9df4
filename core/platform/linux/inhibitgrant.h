#pragma once

#include "powerassertions.h"

#include <QString>

class QDBusMessage;

#include <optional>

// One inhibition held from one desktop service: what the service handed out (a cookie, a portal
// request handle or the logind file descriptor) and the unique bus name of the process that
// handed it out, so that giveBack() returns it to exactly that process and no other. A grant is
// moved, never copied, because it may own the logind descriptor; destroying it without
// giveBack() drops only our side, which is what we want once the service itself has gone.
class InhibitGrant
{
public:
    enum class Service { GnomeSession, PowerManagement, ScreenSaver, Portal, Logind };

    // Asks one service for an inhibition of the given type, provided its bus name has an owner.
    // Nothing when the service is absent, refuses, or does not answer within a few seconds.
    static std::optional<InhibitGrant> request(Service service, PowerAssertions::Type type,
                                               const QString &reason);
    static bool isAvailable(Service service);
    static QString busName(Service service);
    static bool onSystemBus(Service service);

    InhibitGrant(InhibitGrant &&other) noexcept;
    InhibitGrant &operator=(InhibitGrant &&other) noexcept;
    InhibitGrant(const InhibitGrant &) = delete;
    InhibitGrant &operator=(const InhibitGrant &) = delete;
    ~InhibitGrant();

    Service service() const { return m_service; }
    const QString &owner() const { return m_owner; }
    // Returns the inhibition to the process that granted it; afterwards the grant is empty.
    void giveBack();

private:
    InhibitGrant(Service service, const QString &owner);
    // Keeps what the service answered; false when the answer is not what that service promises.
    bool keep(const QDBusMessage &reply);
    void closeDescriptor();

    Service m_service;
    QString m_owner;
    quint32 m_cookie = 0;
    QString m_requestPath;
    int m_fd = -1;
    bool m_held = false;
};
