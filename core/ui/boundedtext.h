// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;

// A text from outside the program (a server message, a version or release notes from a feed)
// that must never make its window taller than the screen or freeze it while it is measured.
// While the text is short it is shown by the given label, exactly as that label alone would
// show it. A longer text goes to a read-only plain-text view of the label's font and colour,
// as tall as the text up to maximumHeight, then scrolling; its lines break between words, or
// anywhere when a word is wider than the view, so every character stays reachable.
class BoundedText : public QWidget
{
    Q_OBJECT

public:
    // Beyond this many characters only the start is shown, followed by an ellipsis: laying out
    // a paragraph costs time in proportion to its length and the window must stay responsive.
    static constexpr qsizetype shownLength = 65536;

    BoundedText(QLabel *label, int width, int maximumHeight, QWidget *parent = nullptr);

    void setText(const QString &text);
    QString text() const { return m_text; }
    bool isScrolling() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

    // Fills any plain-text view with a text from outside: clipped and wrapped as above.
    static void showIn(QPlainTextEdit *view, const QString &text);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    bool fitsLabel(const QString &text) const;
    void showInLabel();
    void showInView();
    int viewHeight() const;
    void matchLabelLook();

    QLabel *m_label;
    QPlainTextEdit *m_view;
    int m_width;
    int m_maximumHeight;
    QString m_text;
};
