// SPDX-License-Identifier: MIT
#include "boundedtext.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace {
// Longer texts go to the view without being measured as a label at all.
constexpr qsizetype labelLength = 2000;
// Breaking between words searches the whole word at every line, so within a word this long
// lines break anywhere instead: the search would make the layout quadratic in its length.
constexpr qsizetype longestWord = 1000;

QString clipped(const QString &text)
{
    if (text.size() <= BoundedText::shownLength)
        return text;
    qsizetype end = BoundedText::shownLength;
    if (text.at(end - 1).isHighSurrogate())
        --end;
    return text.left(end) + QChar(0x2026);
}

qsizetype longestRun(const QString &text)
{
    qsizetype longest = 0;
    qsizetype run = 0;
    for (const QChar c : text) {
        run = c.isSpace() ? 0 : run + 1;
        longest = std::max(longest, run);
    }
    return longest;
}

QTextOption::WrapMode wrapModeFor(const QString &text)
{
    return longestRun(text) > longestWord ? QTextOption::WrapAnywhere
                                          : QTextOption::WrapAtWordBoundaryOrAnywhere;
}

// The height the view's layout gives a (short) text at this width.
int wrappedHeight(const QString &text, const QFont &font, int width)
{
    QTextOption option(Qt::AlignLeft);
    option.setWrapMode(wrapModeFor(text));
    qreal height = 0;
    for (const QString &paragraph : text.split(u'\n')) {
        QTextLayout layout(paragraph, font);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            height += line.height();
        }
        layout.endLayout();
    }
    return int(std::ceil(height));
}
} // namespace

BoundedText::BoundedText(QLabel *label, int width, int maximumHeight, QWidget *parent)
    : QWidget(parent)
    , m_label(label)
    , m_view(new QPlainTextEdit(this))
    , m_width(width)
    , m_maximumHeight(maximumHeight)
{
    m_label->setParent(this);
    m_view->hide();
    m_view->setReadOnly(true);
    m_view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // Not in the tab order: the keys of the window (Space on its buttons) stay what they were.
    m_view->setFocusPolicy(Qt::ClickFocus);
    m_view->setFrameShape(QFrame::NoFrame);
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_view->document()->setDocumentMargin(0);
    m_view->viewport()->setAutoFillBackground(false);
    setSizePolicy(m_label->sizePolicy());
}

void BoundedText::setText(const QString &text)
{
    m_text = text;
    if (fitsLabel(text))
        showInLabel();
    else
        showInView();
    updateGeometry();
}

bool BoundedText::isScrolling() const
{
    return !m_view->isHidden();
}

bool BoundedText::fitsLabel(const QString &text) const
{
    if (text.size() > labelLength)
        return false;
    m_label->setText(text);
    // A word wider than the label would be cut off: a label never breaks inside a word.
    const QRect natural = m_label->fontMetrics().boundingRect(QRect(0, 0, m_width, QWIDGETSIZE_MAX),
                                                              Qt::TextWordWrap, text);
    return natural.width() <= m_width && m_label->heightForWidth(m_width) <= m_maximumHeight;
}

void BoundedText::showInLabel()
{
    m_view->hide();
    m_view->clear();
    m_label->show();
    setMinimumSize(m_label->minimumSize());
    setMaximumSize(m_label->maximumSize());
    setSizePolicy(m_label->sizePolicy());
}

void BoundedText::showInView()
{
    m_label->clear();
    m_label->hide();
    matchLabelLook();
    showIn(m_view, m_text);
    m_view->show();
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFixedSize(m_width, viewHeight());
}

int BoundedText::viewHeight() const
{
    if (m_text.size() > labelLength)
        return m_maximumHeight;
    return std::min(m_maximumHeight, wrappedHeight(m_text, m_view->font(), m_width));
}

void BoundedText::matchLabelLook()
{
    m_view->setFont(m_label->font());
    QPalette palette = m_view->palette();
    palette.setColor(QPalette::Text, m_label->palette().color(m_label->foregroundRole()));
    palette.setColor(QPalette::Base, Qt::transparent);
    m_view->setPalette(palette);
}

QSize BoundedText::sizeHint() const
{
    return isScrolling() ? size() : m_label->sizeHint();
}

QSize BoundedText::minimumSizeHint() const
{
    return isScrolling() ? size() : m_label->minimumSizeHint();
}

bool BoundedText::hasHeightForWidth() const
{
    return !isScrolling() && m_label->hasHeightForWidth();
}

int BoundedText::heightForWidth(int width) const
{
    return isScrolling() ? -1 : m_label->heightForWidth(width);
}

void BoundedText::showIn(QPlainTextEdit *view, const QString &text)
{
    const QString shown = clipped(text);
    view->setWordWrapMode(wrapModeFor(shown));
    view->setPlainText(shown);
}

void BoundedText::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_label->setGeometry(rect());
    m_view->setGeometry(rect());
}

void BoundedText::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // The label resolves its own colour on the same change; copy it once it has.
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange)
        QMetaObject::invokeMethod(this, &BoundedText::matchLabelLook, Qt::QueuedConnection);
}
