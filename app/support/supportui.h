// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>

class LauncherBadge;
class MessagesWindow;
class QWidget;
class SupportChannel;

// What the user sees of the conversation with the maker: the hourly exchange with the server,
// the waiting message shown as an alert, the messages window and its replies, the problem
// report dialog, and the taskbar's unread badge. The other markers of the conversation (the
// messages button, menu entries) are drawn by their owners on markersChanged().
class SupportUi : public QObject
{
    Q_OBJECT

public:
    SupportUi(SupportChannel &channel, std::unique_ptr<LauncherBadge> launcherBadge,
              QObject *parent = nullptr);
    ~SupportUi() override;

    // The waiting message comes up after a sync only while this window shows.
    void setMainWindow(QWidget *window) { m_mainWindow = window; }
    void startHourlySync();
    void syncWithServer();
    void refreshMarkers();
    void showPendingMessage();
    void showMessages();
    void sendReply();
    void reportProblem();

    bool isOpen() const;
    bool hasUnread() const;
    MessagesWindow *messagesWindow() const { return m_messagesWindow.get(); }
    LauncherBadge &launcherBadge() const { return *m_launcherBadge; }
    QTimer *syncTimer() const { return m_syncTimer; }

signals:
    void markersChanged();

private:
    SupportChannel &m_channel;
    std::unique_ptr<LauncherBadge> m_launcherBadge;
    std::unique_ptr<MessagesWindow> m_messagesWindow;
    QPointer<QWidget> m_mainWindow;
    QTimer *m_syncTimer = nullptr;
    // A sync that ends while the alert is open would stack a second copy of the same message.
    bool m_showingMessage = false;
};
