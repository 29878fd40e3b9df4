// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QList>

#include <deque>
#include <functional>

class BoundedText;
class QLabel;
class QHBoxLayout;
class QPushButton;
class QVBoxLayout;

// The program's one modal dialog: a message, an informative text, an icon, buttons (the first
// is the default and answers Return; the rightmost, as on every desktop) and an optional
// accessory widget such as a text field. runModal() answers which button ended it. The
// informative text may come from outside (a server's message): a long one scrolls within a few
// hundred pixels instead of stretching the dialog past the screen.
//
// Tests answer alerts without a modal loop: setNextAnswer() queues an answerer that receives
// the fully built alert (to read its texts or fill its accessory) and returns the response.
class Alert : public QDialog
{
    Q_OBJECT

public:
    // Closing the dialog or pressing Escape answers Dismissed.
    enum Response { Dismissed = 0, FirstButton = 1000, SecondButton = 1001, ThirdButton = 1002 };
    using Answerer = std::function<int(Alert &)>;

    explicit Alert(QWidget *parent = nullptr);
    ~Alert() override;

    void setMessageText(const QString &text);
    QString messageText() const;
    void setInformativeText(const QString &text);
    QString informativeText() const;
    void setIcon(const QIcon &icon);
    QPushButton *addButton(const QString &title);
    const QList<QPushButton *> &buttons() const { return m_buttons; }
    void setAccessoryWidget(QWidget *widget);
    QWidget *accessoryWidget() const { return m_accessory; }

    int runModal();

    static void setNextAnswer(Answerer answerer);
    static bool hasPendingAnswers();
    static void clearPendingAnswers();

private:
    void finishWith(int response);

    QLabel *m_icon;
    QLabel *m_message;
    BoundedText *m_informative;
    QVBoxLayout *m_textColumn;
    QHBoxLayout *m_buttonRow;
    QWidget *m_accessory = nullptr;
    QList<QPushButton *> m_buttons;
    int m_response = Dismissed;
};
