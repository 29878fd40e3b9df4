// SPDX-License-Identifier: MIT
#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QMultiMap>
#include <QObject>

class AwakeEngine;
class QDBusServiceWatcher;

// The running program's interface for scripts, on the session bus under the desktop id: start,
// stop, toggle and extend the period, hold the machine on a caller's behalf, and the state as
// properties whose every change is announced with PropertiesChanged. A hold belongs to the bus
// connection that asked for it and ends when that connection goes, however its process ends.
class ControlService : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "app.plenox.Veluna.Control")
    Q_PROPERTY(bool Active READ active)
    Q_PROPERTY(QString EndsAt READ endsAt)
    Q_PROPERTY(bool KeepDisplayAwake READ keepDisplayAwake)
    Q_PROPERTY(QString Holder READ holder)
    Q_PROPERTY(QString StatusText READ statusText)
    Q_PROPERTY(QString Version READ version)

public:
    static constexpr char interfaceName[] = "app.plenox.Veluna.Control";
    static QString objectPath(const QString &desktopId);

    explicit ControlService(AwakeEngine &engine, QObject *parent = nullptr);
    ~ControlService() override;

    // Exported before the desktop id is claimed, so whoever finds the name finds the interface.
    bool registerOn(QDBusConnection bus, const QString &desktopId);
    bool active() const;
    QString endsAt() const;
    bool keepDisplayAwake() const;
    QString holder() const;
    QString statusText() const;
    QString version() const;

public slots:
    // minutes < 0: the default duration; display < 0: as the setting says, else off (0) or on.
    Q_SCRIPTABLE bool Start(qint64 minutes, int display);
    // endsAt: ISO 8601 with offset, within the coming 24 hours.
    Q_SCRIPTABLE bool StartUntil(const QString &endsAt, int display);
    Q_SCRIPTABLE void Stop();
    Q_SCRIPTABLE bool Toggle();
    Q_SCRIPTABLE bool Extend(qint64 minutes);
    // The machine stays awake for the caller until Release or until its connection goes.
    Q_SCRIPTABLE uint Hold(const QString &name, bool display);
    Q_SCRIPTABLE void Release(uint id);

signals:
    // A hold ended by the program (the user stopped, the desktop refused), not by its owner.
    Q_SCRIPTABLE void HoldEnded(uint id);

private:
    void engineChanged();
    bool fail(const char *method, const QString &message);
    bool displayChoice(int display) const;
    void ownerGone(const QString &owner);
    void guestEnded(quint32 id);

    AwakeEngine &m_engine;
    QDBusConnection m_bus { QString() };
    QString m_path;
    QDBusServiceWatcher *m_owners = nullptr;
    QMultiMap<QString, quint32> m_holds; // by the owner's unique bus name
};
