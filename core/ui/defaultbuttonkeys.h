// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPointer>

class QAbstractButton;

// Makes Return and Enter anywhere in a button's window press that button exactly once. The keys
// are taken before any widget sees them: platform themes differ on whether Return also presses
// the focused push button (the GNOME theme does), and a shortcut on top of that pressed twice.
// Space keeps pressing the focused button, as everywhere else.
class DefaultButtonKeys : public QObject
{
public:
    explicit DefaultButtonKeys(QAbstractButton *button);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool isOurs(QObject *watched) const;

    QPointer<QAbstractButton> m_button;
};
