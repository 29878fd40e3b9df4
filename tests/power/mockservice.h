// SPDX-License-Identifier: MIT
#pragma once

#include "privatesessionbus.h"

#include <QProcess>
#include <QVariantMap>

#include <memory>

// One of python3-dbusmock's own templates on a private bus, killed with this object or with the
// test process.
class MockService
{
public:
    MockService(const PrivateBus &bus, const QString &busName, const QString &path)
        : m_bus(bus)
        , m_busName(busName)
        , m_path(path)
    { }
    ~MockService();

    // True once the template's service owns its name.
    bool start(const QString &templateName, bool systemBus, const QVariantMap &parameters = {});
    // A method of the mock's own interface (org.freedesktop.DBus.Mock) or any other, answered.
    QVariantList call(const QString &interface, const QString &method,
                      const QVariantList &arguments = {}, const QString &path = {}) const;
    QVariantList mock(const QString &method, const QVariantList &arguments = {}) const
    {
        return call(QStringLiteral("org.freedesktop.DBus.Mock"), method, arguments);
    }

private:
    const PrivateBus &m_bus;
    QString m_busName;
    QString m_path;
    std::unique_ptr<QProcess> m_process;
};
