// SPDX-License-Identifier: MIT
#include "alert.h"

#include "boundedtext.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {
std::deque<Alert::Answerer> &pendingAnswers()
{
    static std::deque<Alert::Answerer> answers;
    return answers;
}

constexpr int textWidth = 360;
constexpr int informativeHeight = 300;

QLabel *makeTextLabel(bool bold)
{
    auto *label = new QLabel;
    // Alert texts may come from the network or the user: never interpret them as markup.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setMinimumWidth(280);
    label->setMaximumWidth(textWidth);
    if (bold) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    return label;
}
} // namespace

Alert::Alert(QWidget *parent)
    : QDialog(parent)
    , m_icon(new QLabel)
    , m_message(makeTextLabel(true))
    , m_informative(new BoundedText(makeTextLabel(false), textWidth, informativeHeight))
    , m_textColumn(new QVBoxLayout)
    , m_buttonRow(new QHBoxLayout)
{
    setModal(true);
    setWindowTitle(QApplication::applicationDisplayName());
    setIcon(QApplication::windowIcon());
    m_icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    m_informative->hide();
    m_textColumn->setSpacing(8);
    m_textColumn->addWidget(m_message);
    m_textColumn->addWidget(m_informative);
    m_buttonRow->addStretch();

    auto *top = new QHBoxLayout;
    top->setSpacing(16);
    top->addWidget(m_icon, 0, Qt::AlignTop);
    top->addLayout(m_textColumn, 1);
    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(20, 20, 20, 16);
    root->setSpacing(18);
    root->addLayout(top);
    root->addLayout(m_buttonRow);
    root->setSizeConstraint(QLayout::SetFixedSize);
}

Alert::~Alert() = default;

void Alert::setMessageText(const QString &text)
{
    m_message->setText(text);
}

QString Alert::messageText() const
{
    return m_message->text();
}

void Alert::setInformativeText(const QString &text)
{
    m_informative->setText(text);
    m_informative->setVisible(!text.isEmpty());
}

QString Alert::informativeText() const
{
    return m_informative->text();
}

void Alert::setIcon(const QIcon &icon)
{
    m_icon->setPixmap(icon.isNull() ? QPixmap() : icon.pixmap(QSize(64, 64), devicePixelRatio()));
    m_icon->setVisible(!icon.isNull());
}

QPushButton *Alert::addButton(const QString &title)
{
    auto *button = new QPushButton(title);
    const int response = FirstButton + int(m_buttons.size());
    connect(button, &QPushButton::clicked, this, [this, response] { finishWith(response); });
    // The first button is the default and sits rightmost; later ones line up to its left.
    m_buttonRow->insertWidget(1, button);
    if (m_buttons.isEmpty()) {
        button->setDefault(true);
        button->setAutoDefault(true);
    }
    m_buttons.append(button);
    return button;
}

void Alert::setAccessoryWidget(QWidget *widget)
{
    if (m_accessory)
        m_accessory->deleteLater();
    m_accessory = widget;
    if (widget)
        m_textColumn->addWidget(widget);
}

int Alert::runModal()
{
    if (m_buttons.isEmpty())
        addButton(tr("OK"));
    if (!pendingAnswers().empty()) {
        Answerer answerer = std::move(pendingAnswers().front());
        pendingAnswers().pop_front();
        return answerer(*this);
    }
    m_response = Dismissed;
    show();
    raise();
    activateWindow();
    exec();
    return m_response;
}

void Alert::setNextAnswer(Answerer answerer)
{
    pendingAnswers().push_back(std::move(answerer));
}

bool Alert::hasPendingAnswers()
{
    return !pendingAnswers().empty();
}

void Alert::clearPendingAnswers()
{
    pendingAnswers().clear();
}

void Alert::finishWith(int response)
{
    m_response = response;
    accept();
}
