// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPointer>

#include <memory>

class AwakeEngine;
class QAction;
class QMenu;
class QMenuBar;
class QWidget;
class SupportChannel;

// Makes the program's menus: the menu bar (application, File and Edit menus) once, and the
// tray's menu each time it is asked for, from the engine's state and the waiting message. The
// menus only say what was chosen; the shell decides what that does.
class StatusMenuBuilder : public QObject
{
    Q_OBJECT

public:
    StatusMenuBuilder(const AwakeEngine &engine, const SupportChannel &support,
                      QObject *parent = nullptr);
    ~StatusMenuBuilder() override;

    QMenuBar *buildMenuBar();
    // A new menu each time, owned by the caller.
    QMenu *buildTrayMenu();
    // A parentless menu bar is shown only by desktops with a global menu; its window shortcuts
    // must work everywhere, so the window carries the same actions.
    void addShortcutsTo(QWidget *window) const;

    QMenuBar *menuBar() const { return m_menuBar.get(); }
    // The application menu's entry to the messages, shown while a conversation is open.
    QAction *messagesItem() const { return m_messagesItem; }

signals:
    void awakeToggleRequested();
    void durationChosen(QAction *item);
    void customDurationChosen(QAction *item);
    void openAppRequested();
    void messagesRequested();
    void checkForUpdatesRequested();
    void reportProblemRequested();
    void closeRequested();

private:
    void fillApplicationMenu(QMenu *menu);
    void addDurationItems(QMenu *menu);

    const AwakeEngine &m_engine;
    const SupportChannel &m_support;
    std::unique_ptr<QMenuBar> m_menuBar;
    QPointer<QAction> m_messagesItem;
};
