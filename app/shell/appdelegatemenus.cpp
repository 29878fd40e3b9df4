#include "appdelegate.h"

#include "awakeengine.h"
#include "awakesettings.h"
#include "localisation.h"
#include "mainwindow.h"
#include "statusitemcontroller.h"
#include "supportchannel.h"
#include "uikit.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>

namespace {
QString text(const char *key)
{
    return L(QString::fromLatin1(key));
}

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
    QAction *item = menu->addAction(text(key), menu, [command] { sendToFocusedEditor(command); });
    item->setShortcut(shortcut);
    // Text fields handle these keys themselves; the menu item is for mouse users.
    item->setShortcutContext(Qt::WidgetShortcut);
    return item;
}
// Quitting goes through the application, whose aboutToQuit lets go of every inhibition.
void addQuitItem(QMenu *menu)
{
    QAction *quit = menu->addAction(text("menu.quit"), qApp, &QCoreApplication::quit);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setMenuRole(QAction::QuitRole);
}
} // namespace

void AppDelegate::buildMenu()
{
    m_mainMenu = std::make_unique<QMenuBar>();
    fillApplicationMenu(m_mainMenu->addMenu(QApplication::applicationDisplayName()));
    QMenu *file = m_mainMenu->addMenu(text("menu.file"));
    QAction *close = file->addAction(text("menu.close"), this, &AppDelegate::closeOrBack);
    close->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    addEditMenu(m_mainMenu.get());
}

void AppDelegate::fillApplicationMenu(QMenu *menu)
{
    m_appMessagesItem
        = menu->addAction(text("messages.banner_title"), this, &AppDelegate::showMessages);
    m_appMessagesItem->setVisible(false);
    menu->addSeparator();
    menu->addAction(text("menu.check_updates"), this, &AppDelegate::checkForUpdates);
    menu->addAction(text("menu.report_problem"), this, &AppDelegate::reportProblemPressed);
    menu->addSeparator();
    addQuitItem(menu);
}

void AppDelegate::addEditMenu(QMenuBar *bar)
{
    QMenu *edit = bar->addMenu(text("menu.edit"));
    addEditItem(edit, "edit.undo", QKeySequence::Undo, "undo");
    addEditItem(edit, "edit.redo", QKeySequence::Redo, "redo");
    edit->addSeparator();
    addEditItem(edit, "edit.cut", QKeySequence::Cut, "cut");
    addEditItem(edit, "edit.copy", QKeySequence::Copy, "copy");
    addEditItem(edit, "edit.paste", QKeySequence::Paste, "paste");
    addEditItem(edit, "edit.select_all", QKeySequence::SelectAll, "selectAll");
}

// A parentless menu bar is shown only by desktops with a global menu; its window shortcuts
// must work everywhere, so the main window carries the same actions.
void AppDelegate::addShortcutsToMainWindow()
{
    for (QAction *menuAction : m_mainMenu->actions()) {
        if (!menuAction->menu())
            continue;
        for (QAction *item : menuAction->menu()->actions()) {
            if (!item->shortcut().isEmpty() && item->shortcutContext() == Qt::WindowShortcut)
                m_mainWindow->addAction(item);
        }
    }
}

QMenu *AppDelegate::buildStatusMenu()
{
    auto *menu = new QMenu;
    menu->addAction(text(m_engine.isActive() ? "awake.button_stop" : "awake.button_start"), this,
                    &AppDelegate::awakePressed);
    menu->addSeparator();
    menu->addAction(text("awake.menu_duration_header"))->setEnabled(false);
    addDurationItems(menu);
    menu->addSeparator();
    menu->addAction(text("menu.open_app"), this, &AppDelegate::showMainWindow);
    if (m_support.pendingMessage()) {
        QAction *messages
            = menu->addAction(text("messages.banner_title"), this, &AppDelegate::showMessages);
        messages->setIcon(QPixmap::fromImage(UiKit::quotaBadgeImage(1, 13, 2.0)));
    }
    menu->addSeparator();
    menu->addAction(text("menu.check_updates"), this, &AppDelegate::checkForUpdates);
    menu->addAction(text("menu.report_problem"), this, &AppDelegate::reportProblemPressed);
    menu->addSeparator();
    addQuitItem(menu);
    return menu;
}

// Menus have no indentation levels here; the leading spaces set the entries under their heading.
void AppDelegate::addDurationItems(QMenu *menu)
{
    const QString indent = QStringLiteral("    ");
    for (const AwakeEngine::Duration &duration : AwakeEngine::durations()) {
        QAction *item = menu->addAction(indent + duration.titre);
        item->setData(duration.minutes);
        connect(item, &QAction::triggered, this, [this, item] { setDuration(item); });
    }
    const int custom = AwakeSettings::customMinutes();
    QAction *customItem = menu->addAction(
        indent
        + (custom > 0 ? AwakeSettings::formatMinutes(custom) : text("awake.duration_custom")));
    customItem->setData(custom);
    connect(customItem, &QAction::triggered, this,
            [this, customItem] { setCustomDurationFromMenu(customItem); });
}

void AppDelegate::setDuration(QAction *item)
{
    m_engine.start(item->data().toInt(), AwakeSettings::keepDisplayAwake());
}

void AppDelegate::setCustomDurationFromMenu(QAction *)
{
    if (AwakeSettings::customMinutes() <= 0)
        askCustomDuration();
    startCustomDuration();
}

void AppDelegate::startCustomDuration()
{
    const int minutes = AwakeSettings::customMinutes();
    if (minutes <= 0)
        return;
    m_engine.start(minutes, AwakeSettings::keepDisplayAwake());
    refreshAwakeUI();
}
