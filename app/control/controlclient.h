// SPDX-License-Identifier: MIT
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QVariantMap>

#include <chrono>

// The command line's side of the running program's control interface: blocking calls with a
// deadline, which suits a process that has nothing else to do meanwhile.
class ControlClient : public QObject
{
    Q_OBJECT

public:
    ControlClient(QDBusConnection bus, const QString &desktopId, QObject *parent = nullptr);

    bool isRunning() const;
    // Starts the program as a desktop launch would and waits until it answers; false when it
    // does not within the deadline.
    bool launch(const QString &executable, std::chrono::milliseconds deadline);
    // The reply, or an error message; an empty message when the program does not answer.
    QDBusMessage call(const QString &method, const QVariantList &arguments = {}) const;
    QVariantMap properties() const;

private:
    QDBusConnection m_bus;
    QString m_service;
    QString m_path;
};
