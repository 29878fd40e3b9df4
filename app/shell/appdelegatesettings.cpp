#include "appdelegate.h"

#include "awakeengine.h"
#include "awakesettings.h"
#include "buildinfo.h"
#include "cardview.h"
#include "defaultsstore.h"
#include "flippedview.h"
#include "localisation.h"
#include "statusitemcontroller.h"
#include "symbolbutton.h"
#include "uikit.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QFrame>
#include <QUrl>

namespace {
constexpr int pageWidth = AppDelegate::winSize.width();

QString text(const char *key)
{
    return L(QString::fromLatin1(key));
}

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
    auto *box = new QCheckBox(text(key));
    box->setChecked(on);
    return place(box, page, 40, y);
}

QString websiteName()
{
    return QUrl(QString::fromUtf8(BuildInfo::websiteUrl)).host();
}
} // namespace

QWidget *AppDelegate::buildSettingsView()
{
    auto *page = new FlippedView;
    page->resize(winSize);
    auto *back = new SymbolButton(QStringLiteral(":/icons/chevron-left.svg"), 15,
                                  text("accessibility.back"), page);
    back->setGeometry(18, 46, 28, 28);
    connect(back, &QPushButton::clicked, this, &AppDelegate::showMain);
    placeLabel(UiKit::makeLabel(text("settings.title"), 20, QFont::Bold, labelColor()), page, 54,
               60);
    buildDurationCard(page);
    buildOptionsCards(page);
    buildSettingsButtons(page);
    buildAboutBlock(page);
    return page;
}

void AppDelegate::buildDurationCard(QWidget *page)
{
    addCard(page, { 24, 100, 382, 46 });
    placeLabel(UiKit::makeLabel(text("settings.duration_label"), 13, QFont::Normal, labelColor()),
               page, 40, 123);
    m_durationMenu = new QComboBox(page);
    m_durationMenu->setGeometry(270, 110, 120, 26);
    for (const AwakeEngine::Duration &duration : AwakeEngine::durations())
        m_durationMenu->addItem(duration.titre, duration.minutes);
    m_durationMenu->insertSeparator(m_durationMenu->count());
    const int custom = AwakeSettings::customMinutes();
    m_durationMenu->addItem(custom > 0 ? AwakeSettings::formatMinutes(custom)
                                       : text("awake.duration_custom"),
                            custom > 0 ? custom : -1);
    m_durationMenu->setCurrentIndex(m_durationMenu->findData(AwakeSettings::defaultMinutes()));
    connect(m_durationMenu, &QComboBox::activated, this, &AppDelegate::durationChanged);
}

void AppDelegate::buildOptionsCards(QWidget *page)
{
    addCard(page, { 24, 158, 382, 44 });
    QCheckBox *keepDisplay
        = addCheckbox(page, "awake.keep_display_checkbox", AwakeSettings::keepDisplayAwake(), 170);
    connect(keepDisplay, &QCheckBox::toggled, this, &AppDelegate::toggleKeepDisplay);
    addCard(page, { 24, 214, 382, 130 });
    m_autoUpdateCheckbox = addCheckbox(page, "settings.auto_update", autoUpdatesEnabled(), 226);
    connect(m_autoUpdateCheckbox, &QCheckBox::toggled, this, &AppDelegate::toggleAutoUpdates);
    m_menuBarCheckbox = addCheckbox(page, "settings.menu_bar_icon", isMenuBarMode(), 254);
    // Without a tray, menu-bar mode would leave the program unreachable.
    m_menuBarCheckbox->setEnabled(m_options.trayAvailable);
    connect(m_menuBarCheckbox, &QCheckBox::toggled, this, &AppDelegate::toggleMenuBarMode);
    m_loginCheckbox = addCheckbox(page, "settings.launch_at_login", loginItemEnabled(), 282);
    connect(m_loginCheckbox, &QCheckBox::toggled, this, &AppDelegate::toggleLoginItem);
    placeLabel(UiKit::makeLabel(text("settings.color_label"), 13, QFont::Normal, labelColor()),
               page, 40, 316);
    buildColorMenu(page);
}

void AppDelegate::buildColorMenu(QWidget *page)
{
    m_colorMenu = new QComboBox(page);
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
            [this](int index) { statusColorChanged(m_colorMenu->itemData(index).toInt()); });
}

void AppDelegate::buildSettingsButtons(QWidget *page)
{
    auto *check = place(new QPushButton(text("menu.check_updates")), page, 24, 356);
    connect(check, &QPushButton::clicked, this, &AppDelegate::checkForUpdates);
    auto *report = place(new QPushButton(text("menu.report_problem")), page, 0, 356);
    report->move(check->geometry().right() + 1 + 10, 356);
    connect(report, &QPushButton::clicked, this, &AppDelegate::reportProblemPressed);
    auto *separator = new QFrame(page);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    separator->setGeometry(24, 400, 382, 1);
}

void AppDelegate::buildAboutBlock(QWidget *page)
{
    auto *mark = new QLabel(page);
    mark->setPixmap(QPixmap::fromImage(UiKit::plenoxMark()));
    mark->setScaledContents(true);
    mark->setGeometry((pageWidth - 48) / 2, 516, 48, 48);
    const QString version = QString::fromLatin1(BuildInfo::version);
    place(UiKit::makeLabel(L(QStringLiteral("about.version_label"),
                             version.isEmpty() ? QStringLiteral("?") : version),
                           12, QFont::DemiBold, labelColor()),
          page, -1, 574);
    place(UiKit::makeLabel(text("about.developed_by"), 11, QFont::Normal, UiKit::secondaryLabel()),
          page, -1, 589);
    auto *link = new QPushButton(websiteName());
    link->setFlat(true);
    link->setCursor(Qt::PointingHandCursor);
    link->setStyleSheet(QStringLiteral("QPushButton { border: none; background: transparent;"
                                       " color: %1; font-size: 12px; font-weight: 600; }")
                            .arg(UiKit::plenoxMauve().resolve(page).name()));
    place(link, page, -1, 623);
    connect(link, &QPushButton::clicked, this, &AppDelegate::openPlenox);
}

void AppDelegate::durationChanged(int index)
{
    if (index == m_durationMenu->count() - 1) {
        askCustomDuration();
        return;
    }
    AwakeSettings::setDefaultMinutes(m_durationMenu->itemData(index).toInt());
}

void AppDelegate::toggleKeepDisplay(bool on)
{
    AwakeSettings::setKeepDisplayAwake(on);
    m_engine.setDisplayAwake(on);
}

void AppDelegate::statusColorChanged(int tag)
{
    const auto &colors = AwakeSettings::statusColors();
    if (tag < 0 || tag >= colors.size())
        return;
    AwakeSettings::setStatusColorHex(colors.at(tag).hex);
    m_statusController->setActive(m_engine.isActive());
}

void AppDelegate::openPlenox()
{
    const QUrl url(QString::fromUtf8(BuildInfo::websiteUrl), QUrl::StrictMode);
    if (url.isValid() && url.scheme() == QLatin1String("https"))
        QDesktopServices::openUrl(url);
}
