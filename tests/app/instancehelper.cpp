// SPDX-License-Identifier: MIT
// A launch of Veluna reduced to its single-instance claim, for tst_singleinstance. It prints how
// the claim went ("owner", "handed-over", "unguarded" or "unreachable"); as the owner it stays,
// and given "freeze" it stops itself at once, so that it never answers.
// Usage: veluna-instance-helper [freeze | <answer timeout in ms>]
#include "dbussingleinstance.h"
#include "desktopidentity.h"

#include <QCoreApplication>

#include <array>
#include <csignal>
#include <cstdio>

int main(int argc, char *argv[])
{
    const QByteArray argument = argc > 1 ? argv[1] : "10000";
    DBusSingleInstance instance(QString::fromLatin1(DesktopIdentity::desktopId),
                                std::chrono::milliseconds(argument.toInt()));
    QCoreApplication app(argc, argv);
    const SingleInstance::Claim claim = instance.claim();
    std::printf("%s\n",
                std::array { "owner", "handed-over", "unguarded", "unreachable" }[int(claim)]);
    std::fflush(stdout);
    if (claim != SingleInstance::Claim::Owner)
        return 0;
    if (argument == "freeze")
        std::raise(SIGSTOP);
    return QCoreApplication::exec();
}
