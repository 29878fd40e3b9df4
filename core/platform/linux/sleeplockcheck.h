// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

#include <functional>

// Reads back what a session manager did with our inhibition: whether the process behind a bus
// name now holds a logind "sleep" lock in "block" mode, which would stop the user's own suspend.
// Some session managers take one on behalf of their clients; the answer comes later, never
// blocking, and is false when logind cannot be asked.
class SleepLockCheck
{
public:
    static void run(const QString &owner, QObject *context, std::function<void(bool)> done);
};
