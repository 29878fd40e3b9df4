// SPDX-License-Identifier: MIT
#include "dbussingleinstance.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDebug>

namespace {

const QString applicationInterface = QStringLiteral("org.freedesktop.Application");
const QString activationTokenKey = QStringLiteral("activation-token");
const QString startupIdKey = QStringLiteral("desktop-startup-id");
const char activationTokenVariable[] = "XDG_ACTIVATION_TOKEN";
const char startupIdVariable[] = "DESKTOP_STARTUP_ID";

// The object path desktop shells derive from a desktop id: dots become slashes, and dashes,
// which a path may not hold, underscores.
QString objectPathFor(const QString &desktopId)
{
    QString path = QLatin1Char('/') + desktopId;
    path.replace(QLatin1Char('.'), QLatin1Char('/')).replace(QLatin1Char('-'), QLatin1Char('_'));
    return path;
}

// An X11 launch brings only a startup id, which then stands in for the token.
QString activationToken(const QVariantMap &platformData)
{
    const QString token = platformData.value(activationTokenKey).toString();
    return token.isEmpty() ? platformData.value(startupIdKey).toString() : token;
}

} // namespace

DBusSingleInstance::DBusSingleInstance(const QString &desktopId,
                                       std::chrono::milliseconds answerTimeout)
    : m_serviceName(desktopId)
    , m_objectPath(objectPathFor(desktopId))
    , m_answerTimeout(answerTimeout)
    , m_launchToken(qEnvironmentVariable(activationTokenVariable))
    , m_launchStartupId(qEnvironmentVariable(startupIdVariable))
{ }

DBusSingleInstance::~DBusSingleInstance()
{
    // Without the application object the bus can no longer be used; the process is ending, and
    // the bus drops the name together with the connection.
    if (QCoreApplication::instance())
        release();
}

SingleInstance::Claim DBusSingleInstance::claim()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return Claim::Unguarded;
    // The running instance may quit between our finding the name taken and our call reaching
    // it; then the name is free and this launch becomes the instance. Twice is enough: a third
    // instance would have had to start and quit within the same moment.
    for (int attempt = 0; attempt < 2; ++attempt) {
        switch (takeName(bus)) {
        case Ownership::Owned:
            return Claim::Owner;
        case Ownership::Failed:
            return Claim::Unguarded;
        case Ownership::Taken:
            break;
        }
        const Handover handover = activateOwner(bus);
        if (handover == Handover::Done)
            return Claim::HandedOver;
        if (handover == Handover::Failed)
            return Claim::OwnerUnreachable;
    }
    return Claim::OwnerUnreachable;
}

// The object is in place before the name is taken, so a launch racing ours never finds the name
// without the interface behind it.
DBusSingleInstance::Ownership DBusSingleInstance::takeName(QDBusConnection &bus)
{
    if (!m_registered
        && !bus.registerObject(m_objectPath, this, QDBusConnection::ExportScriptableSlots)) {
        qWarning() << "Could not export" << m_objectPath << "on the session bus";
        return Ownership::Failed;
    }
    m_registered = true;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply
        = bus.interface()->registerService(m_serviceName,
                                           QDBusConnectionInterface::DontQueueService,
                                           QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        m_owner = true;
        return Ownership::Owned;
    }
    release();
    if (!reply.isValid()) {
        qWarning() << "The session bus refused" << m_serviceName << reply.error().message();
        return Ownership::Failed;
    }
    return Ownership::Taken;
}

DBusSingleInstance::Handover DBusSingleInstance::activateOwner(QDBusConnection &bus) const
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        m_serviceName, m_objectPath, applicationInterface, QStringLiteral("Activate"));
    call << launchPlatformData();
    const QDBusMessage reply = bus.call(call, QDBus::Block, int(m_answerTimeout.count()));
    if (reply.type() == QDBusMessage::ReplyMessage)
        return Handover::Done;
    if (!bus.interface()->isServiceRegistered(m_serviceName).value())
        return Handover::OwnerGone;
    qWarning() << "The running instance did not answer:" << reply.errorMessage();
    return Handover::Failed;
}

QVariantMap DBusSingleInstance::launchPlatformData() const
{
    QVariantMap data;
    if (!m_launchToken.isEmpty())
        data.insert(activationTokenKey, m_launchToken);
    if (!m_launchStartupId.isEmpty())
        data.insert(startupIdKey, m_launchStartupId);
    return data;
}

void DBusSingleInstance::Activate(const QVariantMap &platformData)
{
    queueReopen(platformData);
}

void DBusSingleInstance::Open(const QStringList &, const QVariantMap &platformData)
{
    queueReopen(platformData);
}

void DBusSingleInstance::ActivateAction(const QString &, const QVariantList &,
                                        const QVariantMap &platformData)
{
    queueReopen(platformData);
}

// Answered now, handled from the event loop: whatever the reopen shows, even a modal dialog,
// must not keep the launching process waiting for its reply.
void DBusSingleInstance::queueReopen(const QVariantMap &platformData)
{
    const QString token = activationToken(platformData);
    QMetaObject::invokeMethod(
        this,
        [this, token] {
            // Qt's Wayland window activation takes the token from the environment when a window
            // asks for focus; a token left from an earlier request would only be refused.
            if (token.isEmpty())
                qunsetenv(activationTokenVariable);
            else
                qputenv(activationTokenVariable, token.toUtf8());
            emit reopenRequested();
        },
        Qt::QueuedConnection);
}

void DBusSingleInstance::release()
{
    if (!m_registered)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (m_owner)
        bus.interface()->unregisterService(m_serviceName);
    bus.unregisterObject(m_objectPath);
    m_owner = false;
    m_registered = false;
}
