// SPDX-License-Identifier: MIT
#include "fatalhandlers.h"

#include "crashrecordwriter.h"
#include "crashtext.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <unistd.h>

namespace {
constexpr std::array fatalSignals { SIGABRT, SIGSEGV, SIGILL, SIGBUS, SIGFPE, SIGTRAP };
// The thread writing the record; 0 while nothing has failed.
std::atomic<pid_t> recordOwner { 0 };

// The first failing thread writes the record. A second failure inside that thread (its own
// handler faulting) gives up at once; another thread that fails meanwhile gives the first up
// to two seconds to finish before its own signal ends the process.
bool claimRecord()
{
    const pid_t self = ::gettid();
    pid_t owner = 0;
    if (recordOwner.compare_exchange_strong(owner, self))
        return true;
    if (owner == self)
        return false;
    const timespec pause { 0, 10'000'000 };
    for (int i = 0; i < 200; ++i)
        ::nanosleep(&pause, nullptr);
    return false;
}

// "Signal <n>" without allocating; answers the length.
std::size_t formatSignalMessage(int signalNumber, char (&message)[32])
{
    static constexpr char prefix[] = "Signal ";
    char digits[12];
    std::size_t count = 0;
    unsigned value = unsigned(signalNumber < 0 ? 0 : signalNumber);
    do {
        digits[count++] = char('0' + value % 10);
        value /= 10;
    } while (value > 0 && count < sizeof digits);
    std::size_t length = std::copy(prefix, prefix + sizeof prefix - 1, message) - message;
    while (count > 0)
        message[length++] = digits[--count];
    return length;
}

extern "C" void onFatalSignal(int signalNumber)
{
    if (claimRecord()) {
        char message[32];
        CrashRecordWriter::write(message, formatSignalMessage(signalNumber, message));
    }
    // SA_RESETHAND has put back the default action: the re-raised signal ends the process with
    // it as soon as this handler returns.
    ::raise(signalNumber);
}

[[noreturn]] void onTerminate()
{
    if (claimRecord()) {
        const std::string message = CrashText::describeCurrentException();
        CrashRecordWriter::write(message.data(), message.size());
    }
    // abort() must not reach our SIGABRT handler: its "Signal 6" record would replace the
    // exception's, which says far more. (The macOS reporter let the later record win; we
    // deliberately keep the first.)
    ::signal(SIGABRT, SIG_DFL);
    std::abort();
}

// Lives as long as the process: a handler may run on it at any moment.
void installAlternateStack()
{
    const std::size_t size = std::max<std::size_t>(SIGSTKSZ, 64 * 1024);
    stack_t alternate {};
    alternate.ss_sp = new char[size];
    alternate.ss_size = size;
    ::sigaltstack(&alternate, nullptr);
}

void installSignalHandlers()
{
    struct sigaction action = {};
    action.sa_handler = onFatalSignal;
    action.sa_flags = SA_ONSTACK | SA_RESETHAND;
    // A second fatal signal inside the handler then takes its default action instead of
    // re-entering it.
    sigemptyset(&action.sa_mask);
    for (int signalNumber : fatalSignals)
        sigaddset(&action.sa_mask, signalNumber);
    for (int signalNumber : fatalSignals)
        ::sigaction(signalNumber, &action, nullptr);
}
} // namespace

void FatalHandlers::install()
{
    std::set_terminate(onTerminate);
    installAlternateStack();
    installSignalHandlers();
}
