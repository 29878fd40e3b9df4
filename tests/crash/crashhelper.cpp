// A stand-in for the program that tst_crashcapture starts as a child process: it installs the
// crash reporter the way the program does at launch, then fails the way it is asked to.
//
//   veluna-crash-helper <how>
//
// how: "launch" (only the launch: the uploads, waited for, then a normal exit), "segv",
// "segv-no-malloc" (any malloc() from then on ends the process with exit code 9), "thread-segv",
// "abort", "fpe", "overflow", "raise" <signal number>, "exception", "empty-exception", "throw-int",
// "throw-class". Reports go to VELUNA_TEST_CRASH_URL; without it nothing is uploaded.

#include "crashreporter.h"
#include "endpoints.h"
#include "networkaccess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QNetworkReply>
#include <QThread>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <map>
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
    if (allocationForbidden) {
        static constexpr char complaint[] = "malloc() called where allocation is forbidden\n";
        [[maybe_unused]] const ssize_t ignored = ::write(2, complaint, sizeof complaint - 1);
        ::_exit(9);
    }
    return __libc_malloc(size);
}

struct NotAnException
{
    int code = 3;
};

namespace {
volatile int one = 1;
volatile int zero = 0;
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

void divideByZero()
{
    [[maybe_unused]] volatile int quotient = one / zero;
    ::raise(SIGFPE); // where integer division does not trap
}

// Lets the uploads that install() started finish (each reply is freed when it ends).
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

const std::map<QString, std::function<void(const QStringList &)>> &failures()
{
    static const std::map<QString, std::function<void(const QStringList &)>> table {
        { QStringLiteral("segv"), [](const QStringList &) { writeThroughNull(); } },
        { QStringLiteral("segv-no-malloc"),
          [](const QStringList &) {
              allocationForbidden = true;
              writeThroughNull();
          } },
        { QStringLiteral("thread-segv"),
          [](const QStringList &) { std::thread(writeThroughNull).join(); } },
        { QStringLiteral("abort"), [](const QStringList &) { std::abort(); } },
        { QStringLiteral("fpe"), [](const QStringList &) { divideByZero(); } },
        { QStringLiteral("overflow"), [](const QStringList &) { std::exit(recurse(0)); } },
        { QStringLiteral("raise"),
          [](const QStringList &args) { ::raise(args.value(2).toInt()); } },
        { QStringLiteral("exception"),
          [](const QStringList &) { throw std::runtime_error("boom"); } },
        { QStringLiteral("empty-exception"),
          [](const QStringList &) { throw std::logic_error(""); } },
        { QStringLiteral("throw-int"), [](const QStringList &) { throw 42; } },
        { QStringLiteral("throw-class"), [](const QStringList &) { throw NotAnException(); } },
    };
    return table;
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

    const QStringList args = QCoreApplication::arguments();
    const QString how = args.value(1);
    if (how == QLatin1String("launch"))
        return waitForUploads();
    const auto failure = failures().find(how);
    if (failure == failures().end())
        return 2;
    failure->second(args);
    return 4; // the failure did not end the process
}
