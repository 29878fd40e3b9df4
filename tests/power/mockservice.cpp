// SPDX-License-Identifier: MIT
#include "mockservice.h"

#include <QDBusMessage>
#include <QJsonDocument>
#include <QJsonObject>

#include <signal.h>
#include <sys/prctl.h>

MockService::~MockService()
{
    if (m_process) {
        m_process->kill();
        m_process->waitForFinished();
        m_bus.waitForOwner(m_busName, false, 10000); // free for the next one
    }
}

bool MockService::start(const QString &templateName, bool systemBus, const QVariantMap &parameters)
{
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    // dbusmock lives in Debian's interpreter only.
    m_process->start("/usr/bin/python3",
                     { "-m", "dbusmock", systemBus ? "--system" : "--session", "--template",
                       templateName, "--parameters",
                       QJsonDocument(QJsonObject::fromVariantMap(parameters)).toJson() });
    return m_process->waitForStarted() && m_bus.waitForOwner(m_busName, true, 10000);
}

QVariantList MockService::call(const QString &interface, const QString &method,
                               const QVariantList &arguments, const QString &path) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(m_busName, path.isEmpty() ? m_path : path,
                                                          interface, method);
    message.setArguments(arguments);
    const QDBusMessage reply = m_bus.connection().call(message);
    if (reply.type() == QDBusMessage::ErrorMessage)
        qWarning("%s: %s", qPrintable(method), qPrintable(reply.errorMessage()));
    return reply.arguments();
}
