// SPDX-License-Identifier: MIT
#include "settingspage.h"

#include "awakeengine.h"
#include "awakesettings.h"
#include "buildinfo.h"
#include "cardview.h"
#include "displaymode.h"
#include "localisation.h"
#include "loginitem.h"
#include "mainwindow.h"
#include "powercard.h"
#include "symbolbutton.h"
#include "uikit.h"
#include "updater.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFrame>
#include <QLabel>
#include <QUrl>

namespace {
constexpr int pageWidth = MainWindow::pageSize.width();

DynamicColor labelColor()
{
    return DynamicColor::paletteRole(QPalette::WindowText);
}

// Sizes a control to its content, then places it; x < 0 centres it on the page.
template<typename Widget> Widget *place(Widget *widget, QWidget *page, int x, int y)
{
    widget->setParent(page);
    widget->adjustSize();
    widget->move(x < 0 ? (pageWidth - widget->width()) / 2 : x, y);
    return widget;
}

// Places a fitted label so that it is centred vertically on the line y = middle.
QLabel *placeLabel(QLabel *label, QWidget *page, int x, int middle)
{
    if (x >= 0)
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    place(label, page, x, 0);
    label->move(label->x(), middle - label->height() / 2);
    return label;
}

void addCard(QWidget *page, const QRect &frame)
{
    auto *card = new CardView(page);
    card->setGeometry(frame);
}

QCheckBox *addCheckbox(QWidget *page, const char *key, bool on, int y)
{
    auto *box = new QCheckBox(L(key));
    box->setChecked(on);
    return place(box, page, 40, y);
}

QString websiteName()
{
    return QUrl(QString::fromUtf8(BuildInfo::websiteUrl)).host();
}
} // namespace

SettingsPage::SettingsPage(AwakeEngine &engine, Updater &updater, LoginItem &loginItem,
                           DisplayMode &displayMode, PowerSource &powerSource, QWidget *parent)
    : FlippedView(parent)
    , m_engine(engine)
    , m_updater(updater)
    , m_loginItem(loginItem)
    , m_displayMode(displayMode)
{
    resize(MainWindow::pageSize);
    auto *back = new SymbolButton(QStringLiteral(":/icons/chevron-left.svg"), 15,
                                  L("accessibility.back"), this);
    back->setGeometry(18, 46, 28, 28);
    connect(back, &QPushButton::clicked, this, &SettingsPage::backRequested);
    placeLabel(UiKit::makeLabel(L("settings.title"), 20, QFont::Bold, labelColor()), this, 54, 60);
    buildDurationCard();
    buildOptionsCards();
    buildButtons();
    m_powerCard = new PowerCard(powerSource, this);
    m_powerCard->move(24, 405); // in the free band between the separator and the mark
    buildAboutBlock();
    connect(&m_displayMode, &DisplayMode::menuBarModeChanged, this, &SettingsPage::showMenuBarMode);
}

void SettingsPage::buildDurationCard()
{
    addCard(this, { 24, 100, 382, 46 });
    placeLabel(UiKit::makeLabel(L("settings.duration_label"), 13, QFont::Normal, labelColor()),
               this, 40, 123);
    m_durationMenu = new QComboBox(this);
    m_durationMenu->setGeometry(270, 110, 120, 26);
    for (const AwakeEngine::Duration &duration : AwakeEngine::durations())
        m_durationMenu->addItem(duration.titre, duration.minutes);
    m_durationMenu->insertSeparator(m_durationMenu->count());
    m_durationMenu->addItem(QString());
    showStoredDuration();
    connect(m_durationMenu, &QComboBox::activated, this, &SettingsPage::chooseDuration);
}

void SettingsPage::showStoredDuration()
{
    const int custom = AwakeSettings::customMinutes();
    const int customEntry = m_durationMenu->count() - 1;
    m_durationMenu->setItemText(customEntry,
                                custom > 0 ? AwakeSettings::formatMinutes(custom)
                                           : L("awake.duration_custom"));
    m_durationMenu->setItemData(customEntry, custom > 0 ? custom : -1);
    m_durationMenu->setCurrentIndex(m_durationMenu->findData(AwakeSettings::defaultMinutes()));
}

void SettingsPage::buildOptionsCards()
{
    addCard(this, { 24, 158, 382, 44 });
    m_keepDisplayCheckbox
        = addCheckbox(this, "awake.keep_display_checkbox", AwakeSettings::keepDisplayAwake(), 170);
    connect(m_keepDisplayCheckbox, &QCheckBox::toggled, this, &SettingsPage::setKeepDisplay);
    addCard(this, { 24, 214, 382, 130 });
    const bool autoUpdates
        = m_updater.automaticallyChecksForUpdates() && m_updater.automaticallyDownloadsUpdates();
    m_autoUpdateCheckbox = addCheckbox(this, "settings.auto_update", autoUpdates, 226);
    connect(m_autoUpdateCheckbox, &QCheckBox::toggled, this, &SettingsPage::setAutoUpdates);
    m_menuBarCheckbox
        = addCheckbox(this, "settings.menu_bar_icon", m_displayMode.isMenuBarMode(), 254);
    // Without a tray, menu-bar mode would leave the program unreachable.
    m_menuBarCheckbox->setEnabled(m_displayMode.isTrayAvailable());
    connect(m_menuBarCheckbox, &QCheckBox::toggled, &m_displayMode, &DisplayMode::setMenuBarMode);
    m_loginCheckbox = addCheckbox(this, "settings.launch_at_login", m_loginItem.isEnabled(), 282);
    connect(m_loginCheckbox, &QCheckBox::toggled, this, &SettingsPage::setLoginItem);
    placeLabel(UiKit::makeLabel(L("settings.color_label"), 13, QFont::Normal, labelColor()), this,
               40, 316);
    buildColorMenu();
}

void SettingsPage::buildColorMenu()
{
    m_colorMenu = new QComboBox(this);
    m_colorMenu->setGeometry(260, 304, 130, 26);
    const auto &colors = AwakeSettings::statusColors();
    int selected = 1;
    for (int tag = 0; tag < colors.size(); ++tag) {
        const std::optional<QColor> swatch = AwakeSettings::colorFromHex(colors.at(tag).hex);
        m_colorMenu->addItem(swatch ? UiKit::colorSwatch(*swatch) : QIcon(), colors.at(tag).titre,
                             tag);
        if (selected == 1 && colors.at(tag).hex == AwakeSettings::statusColorHex())
            selected = tag;
    }
    m_colorMenu->setCurrentIndex(m_colorMenu->findData(selected));
    connect(m_colorMenu, &QComboBox::activated, this,
            [this](int index) { chooseStatusColor(m_colorMenu->itemData(index).toInt()); });
}

void SettingsPage::buildButtons()
{
    auto *check = place(new QPushButton(L("menu.check_updates")), this, 24, 356);
    connect(check, &QPushButton::clicked, &m_updater, &Updater::checkForUpdates);
    auto *report = place(new QPushButton(L("menu.report_problem")), this, 0, 356);
    report->move(check->geometry().right() + 1 + 10, 356);
    connect(report, &QPushButton::clicked, this, &SettingsPage::reportProblemRequested);
    auto *separator = new QFrame(this);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    separator->setGeometry(24, 400, 382, 1);
}

void SettingsPage::buildAboutBlock()
{
    auto *mark = new QLabel(this);
    mark->setPixmap(QPixmap::fromImage(UiKit::plenoxMark()));
    mark->setScaledContents(true);
    mark->setGeometry((pageWidth - 48) / 2, 516, 48, 48);
    const QString version = QString::fromLatin1(BuildInfo::version);
    place(UiKit::makeLabel(L(QStringLiteral("about.version_label"),
                             version.isEmpty() ? QStringLiteral("?") : version),
                           12, QFont::DemiBold, labelColor()),
          this, -1, 574);
    place(UiKit::makeLabel(L("about.developed_by"), 11, QFont::Normal, UiKit::secondaryLabel()),
          this, -1, 589);
    auto *link = new QPushButton(websiteName());
    link->setFlat(true);
    link->setCursor(Qt::PointingHandCursor);
    link->setStyleSheet(QStringLiteral("QPushButton { border: none; background: transparent;"
                                       " color: %1; font-size: 12px; font-weight: 600; }")
                            .arg(UiKit::plenoxMauve().resolve(this).name()));
    place(link, this, -1, 623);
    connect(link, &QPushButton::clicked, this, &SettingsPage::openWebsite);
}

void SettingsPage::chooseDuration(int index)
{
    if (index == m_durationMenu->count() - 1)
        emit customDurationRequested();
    else
        AwakeSettings::setDefaultMinutes(m_durationMenu->itemData(index).toInt());
}

void SettingsPage::setKeepDisplay(bool on)
{
    AwakeSettings::setKeepDisplayAwake(on);
    m_engine.setDisplayAwake(on);
}

void SettingsPage::setAutoUpdates(bool on)
{
    m_updater.setAutomaticallyChecksForUpdates(on);
    m_updater.setAutomaticallyDownloadsUpdates(on);
}

// On failure the box shows what the system really has, not what the user asked for.
void SettingsPage::setLoginItem(bool on)
{
    const bool enabled = m_loginItem.apply(on);
    if (m_loginCheckbox->isChecked() != enabled) {
        const QSignalBlocker blocker(m_loginCheckbox);
        m_loginCheckbox->setChecked(enabled);
    }
}

void SettingsPage::refreshLoginItem()
{
    const QSignalBlocker blocker(m_loginCheckbox);
    m_loginCheckbox->setChecked(m_loginItem.isEnabled());
}

void SettingsPage::showMenuBarMode(bool on)
{
    const QSignalBlocker blocker(m_menuBarCheckbox);
    m_menuBarCheckbox->setChecked(on);
}

void SettingsPage::chooseStatusColor(int tag)
{
    const auto &colors = AwakeSettings::statusColors();
    if (tag < 0 || tag >= colors.size())
        return;
    AwakeSettings::setStatusColorHex(colors.at(tag).hex);
    emit statusColorChosen();
}

void SettingsPage::openWebsite()
{
    const QUrl url(QString::fromUtf8(BuildInfo::websiteUrl), QUrl::StrictMode);
    if (url.isValid() && url.scheme() == QLatin1String("https"))
        QDesktopServices::openUrl(url);
}
