// SPDX-License-Identifier: MIT
#include "commandrun.h"

#include "processwatch.h"

#include <QFile>

#include <atomic>
#include <csignal>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace {
constexpr int relayedSignals[] = { SIGINT, SIGTERM, SIGHUP };
std::atomic<pid_t> runningChild { 0 };

extern "C" void relaySignal(int signalNumber, siginfo_t *info, void *)
{
    const pid_t child = runningChild.load();
    // The terminal's own signals go to its whole foreground group, the command included.
    if (child > 0 && info->si_code != SI_KERNEL)
        ::kill(child, signalNumber);
}

void setDisposition(bool relay)
{
    struct sigaction action = {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = relay ? SA_SIGINFO | SA_RESTART : 0;
    if (relay)
        action.sa_sigaction = relaySignal;
    else
        action.sa_handler = SIG_DFL;
    for (const int signalNumber : relayedSignals)
        ::sigaction(signalNumber, &action, nullptr);
}

int shellStatus(int waitStatus)
{
    if (WIFSIGNALED(waitStatus))
        return 128 + WTERMSIG(waitStatus);
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : CommandRun::cannotStart;
}
} // namespace

CommandRun::CommandRun(QObject *parent)
    : QObject(parent)
{ }

CommandRun::~CommandRun()
{
    if (m_pid > 0) {
        runningChild = 0;
        setDisposition(false);
    }
}

bool CommandRun::start(const QStringList &command)
{
    std::vector<QByteArray> words;
    for (const QString &word : command)
        words.push_back(QFile::encodeName(word));
    std::vector<char *> argv;
    for (QByteArray &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    setDisposition(true);
    pid_t child = 0;
    const int error = argv.size() > 1
        ? ::posix_spawnp(&child, argv.front(), nullptr, nullptr, argv.data(), environ)
        : ENOENT;
    if (error != 0) {
        setDisposition(false);
        m_error = QStringLiteral("%1: %2").arg(command.value(0),
                                               QString::fromLocal8Bit(std::strerror(error)));
        return false;
    }
    m_pid = child;
    runningChild = child;
    m_watch = ProcessWatch::watch(child);
    if (m_watch)
        connect(m_watch.get(), &ProcessWatch::ended, this, &CommandRun::collect);
    else // only when the kernel has no pidfd: wait for the command the plain way
        collect();
    return true;
}

void CommandRun::collect()
{
    int status = 0;
    const bool collected = ::waitpid(pid_t(m_pid), &status, 0) == pid_t(m_pid);
    runningChild = 0;
    setDisposition(false);
    m_watch.reset();
    m_pid = 0;
    emit finished(collected ? shellStatus(status) : cannotStart);
}
