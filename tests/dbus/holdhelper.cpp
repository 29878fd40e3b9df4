// Holds a system assertion until killed. Once held it starts `sleep 30` the plain POSIX way,
// handing the child every descriptor not marked close-on-exec, and prints "held <id> child <pid>".
#include "dbuspowerassertions.h"

#include <QCoreApplication>

#include <cstdio>
#include <spawn.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    DBusPowerAssertions power(DBusPowerAssertions::Environment::Desktop);
    const auto result
        = power.create(PowerAssertions::Type::PreventUserIdleSystemSleep, "held by helper");
    pid_t child = 0;
    char sleep[] = "sleep", duration[] = "30";
    char *arguments[] = { sleep, duration, nullptr };
    if (!result.ok() || posix_spawnp(&child, "sleep", nullptr, nullptr, arguments, environ) != 0)
        return 1;
    std::printf("held %u child %d\n", result.id, int(child));
    std::fflush(stdout);
    return app.exec();
}
