// SPDX-License-Identifier: MIT
#include "homeview.h"

#include "awakeengine.h"
#include "awakesettings.h"
#include "badgeimageview.h"
#include "defaultbuttonkeys.h"
#include "defaultsstore.h"
#include "localisation.h"
#include "mainwindow.h"
#include "symbolbutton.h"
#include "themedlabel.h"
#include "uikit.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
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
    auto *button = new QPushButton(L("awake.button_start"));
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

HomeView::HomeView(AwakeEngine &engine, QWidget *parent)
    : QWidget(parent)
    , m_engine(engine)
{
    resize(MainWindow::pageSize);
    auto *layout = new QVBoxLayout(this);
    // Centred, then lifted by 4 points: the column sits slightly above the middle.
    layout->setContentsMargins(0, 0, 0, 8);
    layout->addStretch();
    layout->addWidget(buildColumn(), 0, Qt::AlignHCenter);
    layout->addStretch();
    buildCornerButtons();
    buildHoldLabel();
}

QWidget *HomeView::buildColumn()
{
    auto *column = new QWidget;
    auto *stack = new QVBoxLayout(column);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    m_awakeButton = awakeButtonView();
    connect(m_awakeButton, &QPushButton::clicked, this, &HomeView::toggleAwake);
    // Return anywhere on the home view presses the big button, as a default button would.
    new DefaultButtonKeys(m_awakeButton);
    m_statusLabel
        = UiKit::makeLabel(L("awake.status_normal"), 13, QFont::Normal, UiKit::tertiaryLabel());
    QLabel *hint = UiKit::makeLabel(L("home.hint"), 11, QFont::Normal, UiKit::tertiaryLabel());
    hint->setWordWrap(true);
    hint->setFixedWidth(360);
    addSpaced(stack, applicationIconView(), 14);
    addSpaced(stack,
              UiKit::makeLabel(L("app.name"), 24, QFont::Bold,
                               DynamicColor::paletteRole(QPalette::WindowText)),
              10);
    addSpaced(stack,
              UiKit::makeLabel(L("home.subtitle"), 13, QFont::Normal, UiKit::secondaryLabel()), 24);
    addSpaced(stack, m_awakeButton, 14);
    addSpaced(stack, m_statusLabel, 8);
    addSpaced(stack, hint, -1);
    return column;
}

void HomeView::buildCornerButtons()
{
    const int bottom = MainWindow::pageSize.height() - 14 - 30;
    const int gearLeft = MainWindow::pageSize.width() - 14 - 30;
    auto *gear
        = new SymbolButton(QStringLiteral(":/icons/gear.svg"), 16, L("settings.title"), this);
    gear->setGeometry(gearLeft, bottom, 30, 30);
    connect(gear, &QPushButton::clicked, this, &HomeView::settingsRequested);
    m_messagesButton = new SymbolButton(QStringLiteral(":/icons/envelope.svg"), 15,
                                        L("accessibility.messages"), this);
    m_messagesButton->setGeometry(gearLeft - 4 - 30, bottom, 30, 30);
    connect(m_messagesButton, &QPushButton::clicked, this, &HomeView::messagesRequested);
    m_messagesBadge = new BadgeImageView(this);
    m_messagesBadge->setScaledContents(true);
    m_messagesBadge->setGeometry(gearLeft - 4 - 7 - 7, bottom + 7 - 7, 14, 14);
    m_messagesBadge->hide();
}

// In the free band between the hint and the corner buttons, so nothing above it moves.
void HomeView::buildHoldLabel()
{
    m_holdLabel = UiKit::makeLabel(QString(), 11, QFont::Normal, UiKit::secondaryLabel());
    m_holdLabel->setParent(this);
    m_holdLabel->setWordWrap(true);
    m_holdLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_holdLabel->setGeometry(35, 500, MainWindow::pageSize.width() - 70, 40);
}

QPushButton *HomeView::messagesButton() const
{
    return m_messagesButton;
}

void HomeView::toggleAwake()
{
    if (m_engine.isActive())
        m_engine.stop();
    else
        m_engine.start(AwakeSettings::defaultMinutes(), AwakeSettings::keepDisplayAwake());
}

QString HomeView::holdLine(const AwakeEngine &engine)
{
    const QString unsaved = DefaultsStore::saveFailurePath();
    if (!unsaved.isEmpty())
        return L(QStringLiteral("settings.cannot_save_format"), unsaved);
    if (engine.wasRefused())
        return L("holder.refused");
    const std::optional<PowerAssertions::Holder> holder = engine.holder();
    if (!holder)
        return {};
    const char *format = holder->keepsScreenOn && !engine.isDisplayHeld()
        ? "holder.line_screen_format"
        : "holder.line_format";
    return L(QString::fromLatin1(format), L(holder->serviceKey));
}

void HomeView::refresh()
{
    const bool active = m_engine.isActive();
    m_awakeButton->setText(L(active ? "awake.button_stop" : "awake.button_start"));
    if (auto *label = qobject_cast<ThemedLabel *>(m_statusLabel)) {
        label->setText(m_engine.statusText());
        label->setTextColor(active ? UiKit::awakeAmber() : UiKit::tertiaryLabel());
        QFont font = label->font();
        font.setWeight(active ? QFont::DemiBold : QFont::Normal);
        label->setFont(font);
    }
    m_holdLabel->setText(holdLine(m_engine));
}

void HomeView::showMessageMarkers(bool open, bool unread)
{
    m_messagesBadge->setPixmap(unread ? QPixmap::fromImage(UiKit::quotaBadgeImage(1, 14, 2.0))
                                      : QPixmap());
    m_messagesBadge->setVisible(unread);
    m_messagesButton->setVisible(open);
    m_messagesButton->setAccent(unread);
}
