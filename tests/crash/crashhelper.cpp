// Stands in for the program in tst_crashcapture: installs the crash reporter the way the program
// does at launch, then fails as asked:
//
//   veluna-crash-helper launch | segv | segv-no-malloc | thread-segv | overflow | raise <signal>
//                       | throw-runtime | throw-empty | throw-int | throw-class
//
// "launch" waits for the uploads, then exits normally. After "segv-no-malloc" any malloc() ends
// the process with exit code 9. Reports go to VELUNA_TEST_CRASH_URL; without it, nowhere.

#include "crashreporter.h"
#include "endpoints.h"
#include "networkaccess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QNetworkReply>
#include <QThread>

#include <csignal>
#include <stdexcept>
#include <thread>
#include <unistd.h>

// The crash handler must not allocate: this executable's malloc() stands in for the C library's
// and refuses to serve once allocation is forbidden.
extern "C" void *__libc_malloc(std::size_t size);
namespace {
volatile bool allocationForbidden = false;
} // namespace

extern "C" void *malloc(std::size_t size)
{
    if (allocationForbidden)
        ::_exit(9);
    return __libc_malloc(size);
}

struct NotAnException
{
    int code = 3;
};

namespace {
volatile int *volatile nowhere = nullptr;
volatile int depthToStopAt = -1;

void writeThroughNull()
{
    *nowhere = 1;
}

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
    if (how == QLatin1String("segv-no-malloc"))
        allocationForbidden = true;
    if (how == QLatin1String("segv") || how == QLatin1String("segv-no-malloc"))
        writeThroughNull();
    if (how == QLatin1String("thread-segv"))
        std::thread(writeThroughNull).join();
    if (how == QLatin1String("overflow"))
        return recurse(0);
    if (how == QLatin1String("raise"))
        ::raise(app.arguments().value(2).toInt());
    if (how == QLatin1String("throw-runtime"))
        throw std::runtime_error("boom");
    if (how == QLatin1String("throw-empty"))
        throw std::logic_error("");
    if (how == QLatin1String("throw-int"))
        throw 42;
    if (how == QLatin1String("throw-class"))
        throw NotAnException();
    return 4; // the failure did not end the process
}
