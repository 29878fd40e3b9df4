// A launch of Veluna reduced to its single-instance claim, for tst_singleinstance. It prints how
// the claim went ("owner", "handed-over", "unguarded" or "unreachable"); as the owner it stays,
// printing "reopen <token>" for every reopen request ("reopen -" when it came without a token).
// Usage: veluna-instance-helper [<answer timeout in ms>]
#include "dbussingleinstance.h"
#include "desktopidentity.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

const char *word(SingleInstance::Claim claim)
{
    switch (claim) {
    case SingleInstance::Claim::Owner:
        return "owner";
    case SingleInstance::Claim::HandedOver:
        return "handed-over";
    case SingleInstance::Claim::Unguarded:
        return "unguarded";
    case SingleInstance::Claim::OwnerUnreachable:
        return "unreachable";
    }
    return "?";
}

void printLine(const QByteArray &line)
{
    std::printf("%s\n", line.constData());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    const auto timeout = std::chrono::milliseconds(argc > 1 ? std::atoi(argv[1]) : 10000);
    DBusSingleInstance instance(QString::fromLatin1(DesktopIdentity::desktopId), timeout);
    QCoreApplication app(argc, argv);
    const SingleInstance::Claim claim = instance.claim();
    printLine(word(claim));
    if (claim != SingleInstance::Claim::Owner)
        return 0;
    QObject::connect(&instance, &SingleInstance::reopenRequested, [] {
        const QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN");
        printLine("reopen " + (token.isEmpty() ? QByteArray("-") : token));
    });
    return QCoreApplication::exec();
}
