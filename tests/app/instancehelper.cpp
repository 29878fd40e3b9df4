// SPDX-License-Identifier: MIT
// A launch of Veluna reduced to its single-instance claim, for tst_singleinstance: once it owns
// the claim it prints "owner" and stops itself at once, so that it never answers. Any other
// outcome ends it with 1.
#include "dbussingleinstance.h"
#include "desktopidentity.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

int main(int argc, char *argv[])
{
    DBusSingleInstance instance(QString::fromLatin1(DesktopIdentity::desktopId),
                                std::chrono::seconds(10));
    QCoreApplication app(argc, argv);
    if (instance.claim() != SingleInstance::Claim::Owner)
        return 1;
    std::printf("owner\n");
    std::fflush(stdout);
    std::raise(SIGSTOP);
    return 0;
}
