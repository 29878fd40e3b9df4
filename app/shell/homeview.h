// SPDX-License-Identifier: MIT
#pragma once

#include "badgeimageview.h"

#include <QLabel>
#include <QPushButton>
#include <QWidget>

class AwakeEngine;
class SymbolButton;

// The main window's home page: the big button that starts and stops the engine, the status line
// under it, the line saying what holds the machine, and the settings and messages buttons in
// the corner. refresh() redraws it from the engine's state; nothing here redraws on its own.
class HomeView : public QWidget
{
    Q_OBJECT

public:
    explicit HomeView(AwakeEngine &engine, QWidget *parent = nullptr);

    void refresh();
    // What holds the machine, or that nothing can (or that the settings cannot be saved).
    static QString holdLine(const AwakeEngine &engine);
    // The messages button shows while a conversation is open; the badge while one is unread.
    void showMessageMarkers(bool open, bool unread);

    QPushButton *awakeButton() const { return m_awakeButton; }
    QLabel *statusLabel() const { return m_statusLabel; }
    QLabel *holdLabel() const { return m_holdLabel; }
    QPushButton *messagesButton() const;
    BadgeImageView *messagesBadge() const { return m_messagesBadge; }

public slots:
    void toggleAwake();

signals:
    void settingsRequested();
    void messagesRequested();

private:
    QWidget *buildColumn();
    void buildCornerButtons();
    void buildHoldLabel();

    AwakeEngine &m_engine;
    QPushButton *m_awakeButton = nullptr;
    QLabel *m_statusLabel = nullptr;
    QLabel *m_holdLabel = nullptr;
    SymbolButton *m_messagesButton = nullptr;
    BadgeImageView *m_messagesBadge = nullptr;
};
