// SPDX-License-Identifier: MIT
// Stands in for the program in tst_crashcapture: installs the crash reporter as the program does
// at launch, then fails as asked: launch (waits for the uploads and exits) | segv-no-malloc |
// overflow | throw. Reports go to VELUNA_TEST_CRASH_URL; without it, nowhere.

#include "crashreporter.h"
#include "endpoints.h"
#include "networkaccess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QNetworkReply>
#include <QThread>

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
    volatile char frame[1024];
    frame[depth % sizeof frame] = char(depth);
    if (depth == depthToStopAt)
        return 0;
    return recurse(depth + 1) + frame[(depth + 7) % sizeof frame];
}

// Every reply is freed when it ends: none left means every upload was answered.
int waitForUploads()
{
    const QDeadlineTimer deadline(10000);
    while (!NetworkAccess::shared().findChildren<QNetworkReply *>().isEmpty()) {
        if (deadline.hasExpired())
            return 3;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return 0;
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
    const QString url = qEnvironmentVariable("VELUNA_TEST_CRASH_URL");
    // An http address off this machine is refused: with no test server, nothing is sent.
    Endpoints::setOverrideForTests(
        Endpoints::Kind::Crash,
        QUrl(url.isEmpty() ? QStringLiteral("http://unset.invalid/") : url));
    CrashReporter::install();

    const QString how = app.arguments().value(1);
    if (how == QLatin1String("launch"))
        return waitForUploads();
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
