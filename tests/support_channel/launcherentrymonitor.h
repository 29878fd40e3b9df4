#pragma once

#include <QList>
#include <QProcess>
#include <QString>

#include <memory>
#include <optional>

// Watches the launcher-entry signals on the session bus the way a dock does, through
// dbus-monitor, so a test sees exactly what went over the bus and nothing of Qt's own view.
class LauncherEntryMonitor
{
public:
    struct Update
    {
        QString path;
        QString appUri;
        std::optional<qint64> count; // only when sent as an int64
        std::optional<bool> countVisible;
    };

    LauncherEntryMonitor() = default;
    ~LauncherEntryMonitor();
    LauncherEntryMonitor(const LauncherEntryMonitor &) = delete;
    LauncherEntryMonitor &operator=(const LauncherEntryMonitor &) = delete;

    // Starts watching the bus at `address` and waits until the watch is in place.
    bool start(const QString &address);
    // The updates this process's session-bus connection has sent since the last call. A marker
    // sent after them on the same connection proves that nothing more is on its way; none when
    // the marker never came back.
    std::optional<QList<Update>> takeUpdates();

private:
    bool sendMarkerAndWait(int timeoutMs);

    std::unique_ptr<QProcess> m_monitor;
    QString m_output;
    int m_markers = 0;
};
