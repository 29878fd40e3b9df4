// SPDX-License-Identifier: MIT
#pragma once

#include "flippedview.h"

#include <QCheckBox>
#include <QComboBox>

class AwakeEngine;
class DisplayMode;
class LoginItem;
class PowerCard;
class PowerSource;
class Updater;

// The settings page of the main window: the default duration, the display, update, menu-bar and
// login boxes, the tray icon's colour, the update and report buttons, the power rules and
// notices in the band below them, and the about block. Every
// choice acts at once and is stored; the login box always shows what the desktop really has.
// Choosing the duration of one's own is asked for, not answered here.
class SettingsPage : public FlippedView
{
    Q_OBJECT

public:
    SettingsPage(AwakeEngine &engine, Updater &updater, LoginItem &loginItem,
                 DisplayMode &displayMode, PowerSource &powerSource, QWidget *parent = nullptr);

    // Shows the stored custom and default durations again.
    void showStoredDuration();
    // Reads the login item again: it may have been changed outside the program.
    void refreshLoginItem();

    QCheckBox *keepDisplayCheckbox() const { return m_keepDisplayCheckbox; }
    QCheckBox *autoUpdateCheckbox() const { return m_autoUpdateCheckbox; }
    QCheckBox *menuBarCheckbox() const { return m_menuBarCheckbox; }
    QCheckBox *loginCheckbox() const { return m_loginCheckbox; }
    QComboBox *durationMenu() const { return m_durationMenu; }
    QComboBox *colorMenu() const { return m_colorMenu; }
    PowerCard *powerCard() const { return m_powerCard; }

    static void openWebsite();

public slots:
    void chooseDuration(int index);
    void setKeepDisplay(bool on);
    void setAutoUpdates(bool on);
    void setLoginItem(bool on);
    void chooseStatusColor(int tag);

signals:
    void backRequested();
    void customDurationRequested();
    void reportProblemRequested();
    void statusColorChosen();

private:
    void buildDurationCard();
    void buildOptionsCards();
    void buildColorMenu();
    void buildButtons();
    void buildAboutBlock();
    void showMenuBarMode(bool on);

    AwakeEngine &m_engine;
    Updater &m_updater;
    LoginItem &m_loginItem;
    DisplayMode &m_displayMode;
    QCheckBox *m_keepDisplayCheckbox = nullptr;
    QCheckBox *m_autoUpdateCheckbox = nullptr;
    QCheckBox *m_menuBarCheckbox = nullptr;
    QCheckBox *m_loginCheckbox = nullptr;
    QComboBox *m_durationMenu = nullptr;
    QComboBox *m_colorMenu = nullptr;
    PowerCard *m_powerCard = nullptr;
};
