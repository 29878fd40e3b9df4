// SPDX-License-Identifier: MIT
#include "defaultbuttonkeys.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>

namespace {

bool isReturnKey(const QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return false;
    const auto *key = static_cast<const QKeyEvent *>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    return (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
        && modifiers == Qt::NoModifier;
}

} // namespace

DefaultButtonKeys::DefaultButtonKeys(QAbstractButton *button)
    : QObject(button)
    , m_button(button)
{
    // Key events go to the focused widget first, so only the application sees all of them.
    qApp->installEventFilter(this);
}

bool DefaultButtonKeys::isOurs(QObject *watched) const
{
    const auto *widget = qobject_cast<const QWidget *>(watched);
    return m_button && m_button->isVisible() && widget && widget->window() == m_button->window();
}

bool DefaultButtonKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (!isReturnKey(event) || !isOurs(watched))
        return false;
    // An accepted override keeps every shortcut from firing; the press itself then reaches us
    // here, before the focused widget, and acts on the first key-down only.
    event->accept();
    if (event->type() == QEvent::KeyPress && !static_cast<QKeyEvent *>(event)->isAutoRepeat())
        m_button->animateClick();
    return true;
}
