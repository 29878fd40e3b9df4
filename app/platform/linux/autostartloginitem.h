// SPDX-License-Identifier: MIT
#pragma once

#include "loginitem.h"

#include <QCoreApplication>

// The login item of a freedesktop desktop: an autostart entry, a desktop entry file in
// $XDG_CONFIG_HOME/autostart (~/.config/autostart by default) that starts the given program.
// Entries switched off with Hidden=true or X-GNOME-Autostart-enabled=false count as Disabled,
// as the desktops that read them treat them. The entry is written atomically.
class AutostartLoginItem : public LoginItem
{
public:
    explicit AutostartLoginItem(QString program = QCoreApplication::applicationFilePath());

    Status status() const override;
    bool registerItem(QString *error) override;
    bool unregisterItem(QString *error) override;

    // Read from the environment on each call, as the desktop does at each login.
    static QString autostartFolder();
    static QString entryPath();
    QByteArray entryText() const;

private:
    QString m_program;
};
