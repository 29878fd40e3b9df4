// SPDX-License-Identifier: MIT
#include "systemlog.h"

#include <syslog.h>

namespace {
std::function<void(const QString &)> &observer()
{
    static std::function<void(const QString &)> instance;
    return instance;
}
} // namespace

void SystemLog::write(const QString &line)
{
    if (observer())
        observer()(line);
    syslog(LOG_USER | LOG_WARNING, "%s", line.toUtf8().constData());
}

void SystemLog::setObserver(std::function<void(const QString &)> newObserver)
{
    observer() = std::move(newObserver);
}
