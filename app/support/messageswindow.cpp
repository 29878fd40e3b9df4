// SPDX-License-Identifier: MIT
#include "messageswindow.h"

#include "boundedtext.h"
#include "defaultbuttonkeys.h"
#include "flippedview.h"
#include "localisation.h"
#include "supportchannel.h"
#include "uikit.h"

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>

namespace {
constexpr int bodyWidth = 416;
// A longer message scrolls in its own place, so the entries around it stay in sight.
constexpr int bodyMaximumHeight = 260;

QString heading(const ArchivedMessage &entry)
{
    const QLocale locale;
    const QDateTime local = entry.date.toLocalTime();
    return L(entry.mine ? "messages.you_prefix" : "messages.plenox_prefix")
        + locale.toString(local.date(), QLocale::LongFormat) + u' '
        + locale.toString(local.time(), QLocale::ShortFormat);
}

BoundedText *bodyText(const ArchivedMessage &entry, QWidget *list)
{
    QLabel *label = UiKit::makeLabel(QString(), 13, QFont::Normal,
                                     entry.mine ? UiKit::secondaryLabel()
                                                : DynamicColor::paletteRole(QPalette::WindowText));
    // Messages come from the network: never let them be read as markup or open links.
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *body = new BoundedText(label, bodyWidth, bodyMaximumHeight, list);
    body->setText(entry.body);
    return body;
}

void addSeparator(QWidget *parent, const QRect &frame)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(frame);
}
} // namespace

MessagesWindow::MessagesWindow()
    : m_scrollArea(new QScrollArea(this))
{
    setFixedSize(windowSize);
    setWindowTitle(L("messages.window_title"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint);
    m_scrollArea->setGeometry(0, 0, windowSize.width(), listMinimumHeight);
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    m_scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    addSeparator(this, { 0, listMinimumHeight, windowSize.width(), 1 });
    QLabel *hint = UiKit::makeLabel(L("messages.hint"), 11, QFont::Normal, UiKit::tertiaryLabel());
    hint->setParent(this);
    hint->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    hint->adjustSize();
    hint->move(22, windowSize.height() - 20 - hint->height());
}

QWidget *MessagesWindow::listView() const
{
    return m_scrollArea->widget();
}

void MessagesWindow::showHistory(const QList<ArchivedMessage> &history)
{
    // setWidget() deletes the previous list.
    m_scrollArea->setWidget(buildList(history));
    buildReplyArea();
}

QWidget *MessagesWindow::buildList(const QList<ArchivedMessage> &history) const
{
    auto *list = new FlippedView;
    int height = listMinimumHeight;
    if (history.isEmpty()) {
        QLabel *empty
            = UiKit::makeLabel(L("messages.empty"), 13, QFont::Normal, UiKit::secondaryLabel());
        empty->setParent(list);
        empty->adjustSize();
        empty->move((windowSize.width() - empty->width()) / 2, 60);
    } else {
        int y = 20;
        for (const ArchivedMessage &entry : history)
            y = addEntry(list, entry, y);
        height = std::max(y + 10, listMinimumHeight);
    }
    list->setFixedSize(windowSize.width(), height);
    return list;
}

int MessagesWindow::addEntry(QWidget *list, const ArchivedMessage &entry, int y) const
{
    QLabel *title = UiKit::makeLabel(heading(entry), 11, QFont::Medium,
                                     entry.mine ? UiKit::tertiaryLabel() : UiKit::plenoxMauve());
    title->setTextFormat(Qt::PlainText);
    title->setParent(list);
    title->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    title->adjustSize();
    title->move(22, y);
    BoundedText *body = bodyText(entry, list);
    const int bodyTop = title->height() + 5 + y;
    const int bodyHeight
        = body->hasHeightForWidth() ? body->heightForWidth(bodyWidth) : body->sizeHint().height();
    body->setGeometry(22, bodyTop, bodyWidth, bodyHeight);
    const int separatorTop = body->height() + 16 + bodyTop;
    addSeparator(list, { 22, separatorTop, bodyWidth, 1 });
    return separatorTop + 18;
}

void MessagesWindow::buildReplyArea()
{
    // The old button may be the one whose click is being handled: let it finish first.
    for (QWidget *old :
         { static_cast<QWidget *>(m_replyField), static_cast<QWidget *>(m_sendButton) }) {
        if (old) {
            old->hide();
            old->deleteLater();
        }
    }
    m_replyField = new QLineEdit(this);
    m_replyField->setObjectName(QStringLiteral("replyField"));
    m_replyField->setGeometry(22, windowSize.height() - 52 - 40, bodyWidth, 40);
    m_replyField->setPlaceholderText(L("messages.reply_placeholder"));
    m_sendButton = new QPushButton(L("common.send"), this);
    m_sendButton->setObjectName(QStringLiteral("sendButton"));
    m_sendButton->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: white; border: none;"
                       " border-radius: 6px; padding: 5px 16px; font-weight: 600; }")
            .arg(UiKit::plenoxMauveFixed.name()));
    m_sendButton->adjustSize();
    m_sendButton->move(438 - m_sendButton->width(),
                       windowSize.height() - 14 - m_sendButton->height());
    connect(m_sendButton, &QPushButton::clicked, this, &MessagesWindow::sendRequested);
    // Return is the send button's key wherever the focus is, pressing it once on every desktop.
    new DefaultButtonKeys(m_sendButton);
    m_replyField->show();
    m_sendButton->show();
    m_replyField->setFocus();
}
