// SPDX-License-Identifier: MIT
#include "processwatch.h"

#include <QSocketNotifier>

#include <sys/syscall.h>
#include <unistd.h>

std::unique_ptr<ProcessWatch> ProcessWatch::watch(qint64 pid)
{
    if (pid < 1 || pid != pid_t(pid))
        return nullptr;
    // Called directly: this C library declares pidfd_open without C linkage for C++.
    const int descriptor = int(::syscall(SYS_pidfd_open, pid_t(pid), 0));
    if (descriptor < 0)
        return nullptr;
    return std::unique_ptr<ProcessWatch>(new ProcessWatch(pid, descriptor));
}

ProcessWatch::ProcessWatch(qint64 pid, int descriptor)
    : m_pid(pid)
    , m_descriptor(descriptor)
    , m_notifier(new QSocketNotifier(descriptor, QSocketNotifier::Read, this))
{
    connect(m_notifier, &QSocketNotifier::activated, this, &ProcessWatch::readable);
}

ProcessWatch::~ProcessWatch()
{
    delete m_notifier;
    ::close(m_descriptor);
}

void ProcessWatch::readable()
{
    m_notifier->setEnabled(false);
    emit ended();
}
