// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

class Clock;

// One entry of the conversation with the maker: a message of theirs (positive id, the server's)
// or a reply of the user's (negative id, minus the seconds since 1970 when it was archived).
struct ArchivedMessage
{
    qint64 id = 0;
    QString body;
    QDateTime date;
    bool mine = false;
};

// A message the server offered that the user has not seen yet. Never stored on disk.
struct PendingMessage
{
    qint64 id = 0;
    QString body;
};

// The support channel with the maker's server: the conversation history (in the defaults
// store, at most 50 entries and 1 MiB), the ids of messages already shown, the message waiting to
// be shown and the conversation state the server last reported. The hourly exchange and the problem
// reports run on the process's one network manager; their results are applied on the main thread,
// so no field is ever touched from another thread.
class SupportChannel : public QObject
{
    Q_OBJECT

public:
    static constexpr int historyLimit = 50;
    // What the history keeps: texts of at most this many characters, and at most this many
    // bytes in the settings file, a quarter of what its reader accepts.
    static constexpr qsizetype storedTextLimit = 20000;
    static constexpr qsizetype historyByteLimit = 1024 * 1024;
    static constexpr std::chrono::milliseconds syncTimeout = std::chrono::seconds(8);
    static constexpr std::chrono::milliseconds reportTimeout = std::chrono::seconds(10);

    SupportChannel(const QUrl &checkUrl, std::function<QUrl()> reportUrl,
                   QObject *parent = nullptr);
    static SupportChannel &shared();

    const std::optional<PendingMessage> &pendingMessage() const { return m_pendingMessage; }
    const QString &ticketState() const { return m_ticketState; }
    bool isOpen() const { return m_ticketState == QLatin1String("open"); }

    void markMessageShown();
    void archiveOwn(const QString &text);
    QList<ArchivedMessage> messageHistory() const;

    // Asks the server for news; `done` runs on the main thread afterwards, whatever happened.
    void checkWithServer(std::function<void()> done);
    // Applies one answer of the sync endpoint; anything but the expected object changes nothing.
    void applySyncResponse(const QByteArray &body);
    // Sends a report or a reply; `done` receives true only when the server confirmed it.
    void reportProblem(const QString &text, const std::optional<QString> &email,
                       std::function<void(bool)> done);

    // For tests: the time that dates entries and numbers replies, and shorter waits for a
    // server that does not answer.
    void setClock(const Clock &clock);
    void setTimeouts(std::chrono::milliseconds sync, std::chrono::milliseconds report);

private:
    void archive(qint64 id, const QString &body);

    QUrl m_checkUrl;
    std::function<QUrl()> m_reportUrl;
    const Clock *m_clock = nullptr;
    std::chrono::milliseconds m_syncTimeout = syncTimeout;
    std::chrono::milliseconds m_reportTimeout = reportTimeout;
    std::optional<PendingMessage> m_pendingMessage;
    QString m_ticketState = QStringLiteral("none");
};
