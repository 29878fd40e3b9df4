// SPDX-License-Identifier: MIT
#include "controlclient.h"

#include "controlservice.h"

#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

namespace {
constexpr int answerTimeout = 10'000; // ms; the program answers from its event loop
}

ControlClient::ControlClient(QDBusConnection bus, const QString &desktopId, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
    , m_service(desktopId)
    , m_path(ControlService::objectPath(desktopId))
{ }

bool ControlClient::isRunning() const
{
    return m_bus.isConnected() && m_bus.interface()->isServiceRegistered(m_service).value();
}

bool ControlClient::launch(const QString &executable, std::chrono::milliseconds deadline)
{
    QDBusServiceWatcher watcher(m_service, m_bus, QDBusServiceWatcher::WatchForRegistration);
    QEventLoop loop;
    connect(&watcher, &QDBusServiceWatcher::serviceRegistered, &loop, &QEventLoop::quit);
    QTimer::singleShot(deadline, &loop, &QEventLoop::quit);
    // As a desktop launch: the program must not hold on to this terminal's streams.
    QProcess program;
    program.setProgram(executable);
    program.setStandardInputFile(QProcess::nullDevice());
    program.setStandardOutputFile(QProcess::nullDevice());
    program.setStandardErrorFile(QProcess::nullDevice());
    if (!program.startDetached())
        return false;
    if (!isRunning())
        loop.exec();
    return isRunning();
}

QDBusMessage ControlClient::call(const QString &method, const QVariantList &arguments) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        m_service, m_path, QString::fromLatin1(ControlService::interfaceName), method);
    message.setArguments(arguments);
    return m_bus.call(message, QDBus::Block, answerTimeout);
}

QVariantMap ControlClient::properties() const
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        m_service, m_path, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("GetAll"));
    message << QString::fromLatin1(ControlService::interfaceName);
    const QDBusReply<QVariantMap> reply = m_bus.call(message, QDBus::Block, answerTimeout);
    return reply.isValid() ? reply.value() : QVariantMap();
}
