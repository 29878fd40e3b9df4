// SPDX-License-Identifier: MIT
// Holds a system assertion until killed. Once it is granted it starts `sleep 30` the plain POSIX
// way, handing the child every descriptor not marked close-on-exec, and prints "held <id> child
// <pid>".
#include "dbuspowerassertions.h"

#include <QCoreApplication>

#include <cstdio>
#include <spawn.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    DBusPowerAssertions power(DesktopPolicy(DesktopPolicy::Desktop::Other, false));
    PowerAssertions::Result result;
    power.setHandlers(
        { [](quint32) { QCoreApplication::exit(1); },
          [&power, &result] {
              pid_t child = 0;
              char sleep[] = "sleep", duration[] = "30";
              char *arguments[] = { sleep, duration, nullptr };
              if (!power.holder(result.id)
                  || posix_spawnp(&child, "sleep", nullptr, nullptr, arguments, environ) != 0)
                  QCoreApplication::exit(1);
              std::printf("held %u child %d\n", result.id, int(child));
              std::fflush(stdout);
          } });
    result = power.create(PowerAssertions::Type::PreventUserIdleSystemSleep, "held by helper");
    return result.ok() ? app.exec() : 1;
}
