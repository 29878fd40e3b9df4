// Holds one system assertion through DBusPowerAssertions and waits to be killed. Once held it
// starts `sleep 30` the plain POSIX way, which hands the child every descriptor not marked
// close-on-exec, then prints "held <id> child <pid>". The killed-holder test reads that line.
#include "dbuspowerassertions.h"

#include <QCoreApplication>

#include <cstdio>
#include <spawn.h>

extern char **environ;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    DBusPowerAssertions power(DBusPowerAssertions::Environment::Desktop);
    const PowerAssertions::Result result
        = power.create(PowerAssertions::Type::PreventUserIdleSystemSleep, "held by helper");
    if (!result.ok()) {
        std::printf("refused %d\n", result.code);
        return 1;
    }
    pid_t child = 0;
    char sleepProgram[] = "sleep", duration[] = "30";
    char *childArguments[] = { sleepProgram, duration, nullptr };
    if (posix_spawnp(&child, "sleep", nullptr, nullptr, childArguments, environ) != 0) {
        std::printf("no child\n");
        return 1;
    }
    std::printf("held %u child %d\n", result.id, int(child));
    std::fflush(stdout);
    return app.exec();
}
