// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

#include <memory>

// Keeps Veluna to one process per user session. claim() either makes this process the one
// instance, or asks the instance already running to come forward (handing it this launch's
// activation token) so that this process can end. The one instance then emits reopenRequested()
// for every later launch, and for the desktop asking it directly. One implementation per
// operating system, picked by the build.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    enum class Claim {
        Owner, // this process is the instance; reopen requests will arrive
        HandedOver, // another instance runs and was asked to come forward: end this launch
        Unguarded, // nothing to coordinate through (no session bus): run without the guarantee
        OwnerUnreachable, // another instance holds the claim but does not answer
    };

    using QObject::QObject;

    virtual Claim claim() = 0;

    // Create it before the application object: a second launch must pass on the launch's own
    // activation details, and connecting to the display may take them out of the environment.
    static std::unique_ptr<SingleInstance> createPlatformDefault(const QString &desktopId);

signals:
    // Another launch, or the desktop, asks the program to show itself.
    void reopenRequested();
};
