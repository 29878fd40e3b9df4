// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <memory>

// Desktop notices. A new notice replaces the one shown before; only the buttons of the notice
// shown last can be pressed, and actionInvoked() names the pressed button by its key. Buttons
// appear only where the desktop can show them.
class Notifier : public QObject
{
    Q_OBJECT

public:
    struct Action
    {
        QString key;
        QString label;
    };
    struct Notice
    {
        QString summary;
        QString body;
        QList<Action> actions;
    };

    using QObject::QObject;
    virtual void show(const Notice &notice) = 0;

    // The notification portal inside a sandbox, the desktop's notification server elsewhere.
    static std::unique_ptr<Notifier> createPlatformDefault();

signals:
    void actionInvoked(const QString &key);
};
