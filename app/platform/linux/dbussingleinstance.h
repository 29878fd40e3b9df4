// SPDX-License-Identifier: MIT
#pragma once

#include "singleinstance.h"

#include <QDBusConnection>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <chrono>

// The single instance on a freedesktop session: the instance owns the desktop id as its name on
// the session bus and exports org.freedesktop.Application at the matching object path, the way
// desktop shells expect of a D-Bus activatable program. A second launch finds the name taken and
// calls Activate on it with its activation token. The bus drops the name with the connection, so
// an instance that dies, however it dies, frees the claim for the next launch.
class DBusSingleInstance : public SingleInstance
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    // answerTimeout bounds how long a second launch waits for the running instance's answer.
    explicit DBusSingleInstance(const QString &desktopId,
                                std::chrono::milliseconds answerTimeout = std::chrono::seconds(10));
    ~DBusSingleInstance() override;
    DBusSingleInstance(const DBusSingleInstance &) = delete;
    DBusSingleInstance &operator=(const DBusSingleInstance &) = delete;

    Claim claim() override;

    // org.freedesktop.Application. Veluna has no documents and exports no actions, so opening
    // and activating an action both just bring the program forward.
public slots:
    Q_SCRIPTABLE void Activate(const QVariantMap &platformData);
    Q_SCRIPTABLE void Open(const QStringList &uris, const QVariantMap &platformData);
    Q_SCRIPTABLE void ActivateAction(const QString &actionName, const QVariantList &parameter,
                                     const QVariantMap &platformData);

private:
    enum class Ownership { Owned, Taken, Failed };
    enum class Handover { Done, OwnerGone, Failed };

    Ownership takeName(QDBusConnection &bus);
    Handover activateOwner(QDBusConnection &bus) const;
    QVariantMap launchPlatformData() const;
    void queueReopen(const QVariantMap &platformData);
    void release();

    QString m_serviceName;
    QString m_objectPath;
    std::chrono::milliseconds m_answerTimeout;
    QString m_launchToken;
    QString m_launchStartupId;
    bool m_registered = false;
    bool m_owner = false;
};
