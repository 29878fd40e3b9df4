// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QStringList>

#include <memory>

class ProcessWatch;

// Runs one command with this process's standard streams and reports how it ended the way a
// shell does: its own exit status, 128 + N when signal N ended it. SIGINT, SIGTERM and SIGHUP
// sent to this process are passed on to the command; those the terminal sends to its whole
// foreground group already reach the command, so they are not sent twice. While a command
// runs, this process does not end on those signals: it ends with the command.
class CommandRun : public QObject
{
    Q_OBJECT

public:
    static constexpr int cannotStart = 127;

    explicit CommandRun(QObject *parent = nullptr);
    ~CommandRun() override;
    CommandRun(const CommandRun &) = delete;
    CommandRun &operator=(const CommandRun &) = delete;

    // False, with errorText() set, when the command cannot be started.
    bool start(const QStringList &command);
    QString errorText() const { return m_error; }
    qint64 pid() const { return m_pid; }

signals:
    void finished(int exitStatus);

private:
    void collect();

    qint64 m_pid = 0;
    QString m_error;
    std::unique_ptr<ProcessWatch> m_watch;
};
