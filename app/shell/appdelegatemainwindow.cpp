#include "appdelegate.h"

#include "awakeengine.h"
#include "awakesettings.h"
#include "badgeimageview.h"
#include "defaultbuttonkeys.h"
#include "defaultsstore.h"
#include "flippedview.h"
#include "localisation.h"
#include "mainwindow.h"
#include "statusitemcontroller.h"
#include "symbolbutton.h"
#include "themedlabel.h"
#include "uikit.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QString text(const char *key)
{
    return L(QString::fromLatin1(key));
}

QLabel *applicationIconView()
{
    auto *icon = new QLabel;
    icon->setFixedSize(92, 92);
    icon->setPixmap(UiKit::applicationPicture(qApp->devicePixelRatio()));
    icon->setAccessibleName(QApplication::applicationDisplayName());
    return icon;
}

QPushButton *awakeButtonView()
{
    auto *button = new QPushButton(text("awake.button_start"));
    button->setObjectName(QStringLiteral("awakeButton"));
    button->setDefault(true);
    button->setAutoDefault(true);
    button->setMinimumSize(220, 44);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(
        QStringLiteral("QPushButton#awakeButton { background: %1; color: #1C1917; border: none;"
                       " border-radius: 10px; padding: 8px 28px; font-size: 16px;"
                       " font-weight: 600; }"
                       "QPushButton#awakeButton:hover { background: %2; }"
                       "QPushButton#awakeButton:pressed { background: %3; }"
                       "QPushButton#awakeButton:focus { outline: none; }")
            .arg(UiKit::awakeAmberFixed.name(), UiKit::awakeAmberFixed.lighter(108).name(),
                 UiKit::awakeAmberFixed.darker(112).name()));
    return button;
}

void addSpaced(QVBoxLayout *column, QWidget *view, int spaceAfter)
{
    column->addWidget(view, 0, Qt::AlignHCenter);
    if (spaceAfter >= 0)
        column->addSpacing(spaceAfter);
}
} // namespace

void AppDelegate::buildMainWindow()
{
    m_mainWindow = std::make_unique<MainWindow>(winSize);
    m_mainWindow->setWindowTitle(text("app.name"));
    m_mainWindow->setCloseHandler([this] { return windowShouldClose(m_mainWindow.get()); });
    connect(m_mainWindow.get(), &MainWindow::closed, this, [this] {
        if (applicationShouldTerminateAfterLastWindowClosed())
            QCoreApplication::quit();
    });
    m_mainView = buildMainView();
    fillMainWindow(m_mainView);
    addShortcutsToMainWindow();
    if (!isMenuBarMode())
        bringMainWindowForward();
    setTaskbarPresence(!isMenuBarMode());
}

QWidget *AppDelegate::buildMainView()
{
    auto *root = new QWidget;
    root->resize(winSize);
    auto *layout = new QVBoxLayout(root);
    // Centred, then lifted by 4 points: the column sits slightly above the middle.
    layout->setContentsMargins(0, 0, 0, 8);
    layout->addStretch();
    layout->addWidget(buildHomeColumn(), 0, Qt::AlignHCenter);
    layout->addStretch();
    buildCornerButtons(root);
    buildHoldLabel(root);
    return root;
}

// In the free band between the hint and the corner buttons, so nothing above it moves.
void AppDelegate::buildHoldLabel(QWidget *root)
{
    m_holdLabel = UiKit::makeLabel(QString(), 11, QFont::Normal, UiKit::secondaryLabel());
    m_holdLabel->setParent(root);
    m_holdLabel->setWordWrap(true);
    m_holdLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_holdLabel->setGeometry(35, 500, winSize.width() - 70, 40);
}

QString AppDelegate::holdLine() const
{
    const QString unsaved = DefaultsStore::saveFailurePath();
    if (!unsaved.isEmpty())
        return L(QStringLiteral("settings.cannot_save_format"), unsaved);
    if (m_engine.wasRefused())
        return text("holder.refused");
    const std::optional<PowerAssertions::Holder> holder = m_engine.holder();
    if (!holder)
        return {};
    const char *format = holder->keepsScreenOn && !m_engine.isDisplayHeld()
        ? "holder.line_screen_format"
        : "holder.line_format";
    return L(QString::fromLatin1(format), L(holder->serviceKey));
}

QWidget *AppDelegate::buildHomeColumn()
{
    auto *column = new QWidget;
    auto *stack = new QVBoxLayout(column);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    m_awakeButton = awakeButtonView();
    connect(m_awakeButton, &QPushButton::clicked, this, &AppDelegate::awakePressed);
    // Return anywhere on the home view presses the big button, as a default button would.
    new DefaultButtonKeys(m_awakeButton);
    m_awakeStatusLabel
        = UiKit::makeLabel(text("awake.status_normal"), 13, QFont::Normal, UiKit::tertiaryLabel());
    QLabel *hint = UiKit::makeLabel(text("home.hint"), 11, QFont::Normal, UiKit::tertiaryLabel());
    hint->setWordWrap(true);
    hint->setFixedWidth(360);
    addSpaced(stack, applicationIconView(), 14);
    addSpaced(stack,
              UiKit::makeLabel(text("app.name"), 24, QFont::Bold,
                               DynamicColor::paletteRole(QPalette::WindowText)),
              10);
    addSpaced(stack,
              UiKit::makeLabel(text("home.subtitle"), 13, QFont::Normal, UiKit::secondaryLabel()),
              24);
    addSpaced(stack, m_awakeButton, 14);
    addSpaced(stack, m_awakeStatusLabel, 8);
    addSpaced(stack, hint, -1);
    return column;
}

void AppDelegate::buildCornerButtons(QWidget *root)
{
    const int bottom = winSize.height() - 14 - 30;
    const int gearLeft = winSize.width() - 14 - 30;
    auto *gear
        = new SymbolButton(QStringLiteral(":/icons/gear.svg"), 16, text("settings.title"), root);
    gear->setGeometry(gearLeft, bottom, 30, 30);
    connect(gear, &QPushButton::clicked, this, &AppDelegate::showSettings);
    m_messagesButton = new SymbolButton(QStringLiteral(":/icons/envelope.svg"), 15,
                                        text("accessibility.messages"), root);
    m_messagesButton->setGeometry(gearLeft - 4 - 30, bottom, 30, 30);
    connect(m_messagesButton, &QPushButton::clicked, this, &AppDelegate::showMessages);
    m_messagesBadge = new BadgeImageView(root);
    m_messagesBadge->setScaledContents(true);
    m_messagesBadge->setGeometry(gearLeft - 4 - 7 - 7, bottom + 7 - 7, 14, 14);
    m_messagesBadge->hide();
}

void AppDelegate::refreshAwakeUI()
{
    const bool active = m_engine.isActive();
    const QString status = m_engine.statusText();
    if (m_awakeButton)
        m_awakeButton->setText(text(active ? "awake.button_stop" : "awake.button_start"));
    if (auto *label = qobject_cast<ThemedLabel *>(m_awakeStatusLabel.data())) {
        label->setText(status);
        label->setTextColor(active ? UiKit::awakeAmber() : UiKit::tertiaryLabel());
        QFont font = label->font();
        font.setWeight(active ? QFont::DemiBold : QFont::Normal);
        label->setFont(font);
    }
    const QString hold = holdLine();
    if (m_holdLabel)
        m_holdLabel->setText(hold);
    m_statusController->setActive(active);
    m_statusController->setStatusText(hold.isEmpty() ? status : status + u'\n' + hold);
    if (m_statusController->isEnabled())
        m_statusController->enable(buildStatusMenu());
}

void AppDelegate::awakePressed()
{
    if (m_engine.isActive())
        m_engine.stop();
    else
        m_engine.start(AwakeSettings::defaultMinutes(), AwakeSettings::keepDisplayAwake());
}

void AppDelegate::showMainWindow()
{
    bringMainWindowForward();
    refreshMessageBadges();
}

void AppDelegate::fillMainWindow(QWidget *view)
{
    view->setParent(m_mainWindow.get());
    view->setGeometry(QRect(QPoint(0, 0), winSize));
}

// The settings page is made the first time it is asked for: most launches never show it, and
// making it would delay the main window.
void AppDelegate::showSettings()
{
    if (!m_mainWindow)
        return;
    if (!m_settingsView) {
        m_settingsView = buildSettingsView();
        fillMainWindow(m_settingsView);
    }
    if (m_mainView)
        m_mainView->hide();
    m_settingsView->show();
    if (m_loginCheckbox) {
        const QSignalBlocker blocker(m_loginCheckbox);
        m_loginCheckbox->setChecked(loginItemEnabled());
    }
}

void AppDelegate::showMain()
{
    if (m_settingsView)
        m_settingsView->hide();
    if (m_mainView)
        m_mainView->show();
}

void AppDelegate::closeOrBack()
{
    if (m_settingsView && m_settingsView->isVisibleTo(m_mainWindow.get())) {
        showMain();
        return;
    }
    if (m_mainWindow)
        m_mainWindow->close();
}
