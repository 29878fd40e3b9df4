// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

#include <QList>

struct ArchivedMessage;
class QLineEdit;
class QPushButton;
class QScrollArea;

// The conversation with the maker: the history, newest first, above a reply field and a send
// button. Texts are shown as plain text, never interpreted as markup. The window is kept for
// the whole run; showHistory() rebuilds the list and a fresh reply field each time.
class MessagesWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr QSize windowSize { 460, 520 };
    static constexpr int listMinimumHeight = 416;

    MessagesWindow();

    void showHistory(const QList<ArchivedMessage> &history);
    QLineEdit *replyField() const { return m_replyField; }
    QWidget *listView() const;
    QPushButton *sendButton() const { return m_sendButton; }

signals:
    void sendRequested();

private:
    QWidget *buildList(const QList<ArchivedMessage> &history) const;
    int addEntry(QWidget *list, const ArchivedMessage &entry, int y) const;
    void buildReplyArea();

    QScrollArea *m_scrollArea;
    QLineEdit *m_replyField = nullptr;
    QPushButton *m_sendButton = nullptr;
};
