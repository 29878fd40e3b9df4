// SPDX-License-Identifier: MIT
#include "statusmenubuilder.h"

#include "awakeengine.h"
#include "awakesettings.h"
#include "localisation.h"
#include "supportchannel.h"
#include "uikit.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>

namespace {
// The Edit commands act on whichever text field has the focus, as the platform's would.
void sendToFocusedEditor(const char *command)
{
    QWidget *focus = QApplication::focusWidget();
    if (qobject_cast<QLineEdit *>(focus) || qobject_cast<QPlainTextEdit *>(focus))
        QMetaObject::invokeMethod(focus, command);
}

QAction *addEditItem(QMenu *menu, const char *key, QKeySequence::StandardKey shortcut,
                     const char *command)
{
    QAction *item = menu->addAction(L(key), menu, [command] { sendToFocusedEditor(command); });
    item->setShortcut(shortcut);
    // Text fields handle these keys themselves; the menu item is for mouse users.
    item->setShortcutContext(Qt::WidgetShortcut);
    return item;
}

void addEditMenu(QMenuBar *bar)
{
    QMenu *edit = bar->addMenu(L("menu.edit"));
    addEditItem(edit, "edit.undo", QKeySequence::Undo, "undo");
    addEditItem(edit, "edit.redo", QKeySequence::Redo, "redo");
    edit->addSeparator();
    addEditItem(edit, "edit.cut", QKeySequence::Cut, "cut");
    addEditItem(edit, "edit.copy", QKeySequence::Copy, "copy");
    addEditItem(edit, "edit.paste", QKeySequence::Paste, "paste");
    addEditItem(edit, "edit.select_all", QKeySequence::SelectAll, "selectAll");
}

// Quitting goes through the application, whose aboutToQuit lets go of every inhibition.
void addQuitItem(QMenu *menu)
{
    QAction *quit = menu->addAction(L("menu.quit"), qApp, &QCoreApplication::quit);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setMenuRole(QAction::QuitRole);
}
} // namespace

StatusMenuBuilder::StatusMenuBuilder(const AwakeEngine &engine, const SupportChannel &support,
                                     QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_support(support)
{ }

StatusMenuBuilder::~StatusMenuBuilder() = default;

QMenuBar *StatusMenuBuilder::buildMenuBar()
{
    m_menuBar = std::make_unique<QMenuBar>();
    fillApplicationMenu(m_menuBar->addMenu(QApplication::applicationDisplayName()));
    QMenu *file = m_menuBar->addMenu(L("menu.file"));
    QAction *close = file->addAction(L("menu.close"), this, &StatusMenuBuilder::closeRequested);
    close->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    addEditMenu(m_menuBar.get());
    return m_menuBar.get();
}

void StatusMenuBuilder::fillApplicationMenu(QMenu *menu)
{
    m_messagesItem
        = menu->addAction(L("messages.banner_title"), this, &StatusMenuBuilder::messagesRequested);
    m_messagesItem->setVisible(false);
    menu->addSeparator();
    menu->addAction(L("menu.check_updates"), this, &StatusMenuBuilder::checkForUpdatesRequested);
    menu->addAction(L("menu.report_problem"), this, &StatusMenuBuilder::reportProblemRequested);
    menu->addSeparator();
    addQuitItem(menu);
}

void StatusMenuBuilder::addShortcutsTo(QWidget *window) const
{
    for (QAction *menuAction : m_menuBar->actions()) {
        if (!menuAction->menu())
            continue;
        for (QAction *item : menuAction->menu()->actions()) {
            if (!item->shortcut().isEmpty() && item->shortcutContext() == Qt::WindowShortcut)
                window->addAction(item);
        }
    }
}

QMenu *StatusMenuBuilder::buildTrayMenu()
{
    auto *menu = new QMenu;
    menu->addAction(L(m_engine.isActive() ? "awake.button_stop" : "awake.button_start"), this,
                    &StatusMenuBuilder::awakeToggleRequested);
    menu->addSeparator();
    menu->addAction(L("awake.menu_duration_header"))->setEnabled(false);
    addDurationItems(menu);
    menu->addSeparator();
    menu->addAction(L("menu.open_app"), this, &StatusMenuBuilder::openAppRequested);
    if (m_support.pendingMessage()) {
        QAction *messages = menu->addAction(L("messages.banner_title"), this,
                                            &StatusMenuBuilder::messagesRequested);
        messages->setIcon(QPixmap::fromImage(UiKit::quotaBadgeImage(1, 13, 2.0)));
    }
    menu->addSeparator();
    menu->addAction(L("menu.check_updates"), this, &StatusMenuBuilder::checkForUpdatesRequested);
    menu->addAction(L("menu.report_problem"), this, &StatusMenuBuilder::reportProblemRequested);
    menu->addSeparator();
    addQuitItem(menu);
    return menu;
}

// Menus have no indentation levels here; the leading spaces set the entries under their heading.
void StatusMenuBuilder::addDurationItems(QMenu *menu)
{
    const QString indent = QStringLiteral("    ");
    for (const AwakeEngine::Duration &duration : AwakeEngine::durations()) {
        QAction *item = menu->addAction(indent + duration.titre);
        item->setData(duration.minutes);
        connect(item, &QAction::triggered, this, [this, item] { emit durationChosen(item); });
    }
    const int custom = AwakeSettings::customMinutes();
    QAction *customItem = menu->addAction(
        indent + (custom > 0 ? AwakeSettings::formatMinutes(custom) : L("awake.duration_custom")));
    customItem->setData(custom);
    connect(customItem, &QAction::triggered, this,
            [this, customItem] { emit customDurationChosen(customItem); });
}
