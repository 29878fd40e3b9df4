// SPDX-License-Identifier: MIT
// Stands in for the program in tst_crashreports: installs the crash reporter as the program does
// at launch, then fails as asked: segv-no-malloc | overflow | throw.

#include "crashreporter.h"
#include "endpoints.h"

#include <QCoreApplication>

#include <stdexcept>
#include <unistd.h>

namespace {
volatile bool allocationForbidden = false;
volatile int *volatile nowhere = nullptr;
volatile int depthToStopAt = -1;

// The work after the call keeps the compiler from turning the recursion into a loop, and the
// volatile stop keeps it from proving that it never ends.
int recurse(int depth)
{
    volatile char frame[1024] {};
    return depth == depthToStopAt ? 0 : recurse(depth + 1) + frame[depth % sizeof frame];
}
} // namespace

// The crash handler must not allocate: once that is forbidden, malloc() ends the process with
// exit code 9 instead of serving.
extern "C" void *__libc_malloc(std::size_t size);
extern "C" void *malloc(std::size_t size)
{
    if (allocationForbidden)
        ::_exit(9);
    return __libc_malloc(size);
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Veluna"));
    // An http address off this machine is refused: nothing is sent.
    Endpoints::setOverrideForTests(Endpoints::Kind::Crash, QUrl("http://unset.invalid/"));
    CrashReporter::install();

    const QString how = app.arguments().value(1);
    if (how == QLatin1String("segv-no-malloc")) {
        allocationForbidden = true;
        *nowhere = 1;
    }
    if (how == QLatin1String("overflow"))
        return recurse(0);
    if (how == QLatin1String("throw"))
        throw std::runtime_error("boom");
    return 4; // the failure did not end the process
}
