// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

// Tells once when a process ends, without polling: the kernel makes a pidfd readable when its
// process exits. Works for any process the user may see, the program's own children included
// (their exit status is then still there to collect).
class ProcessWatch : public QObject
{
    Q_OBJECT

public:
    // Null when no such process exists (or it has ended already).
    static std::unique_ptr<ProcessWatch> watch(qint64 pid);
    ~ProcessWatch() override;

    qint64 pid() const { return m_pid; }

signals:
    void ended();

private:
    ProcessWatch(qint64 pid, int descriptor);
    void readable();

    qint64 m_pid;
    int m_descriptor;
    QSocketNotifier *m_notifier;
};
