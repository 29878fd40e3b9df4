// SPDX-License-Identifier: MIT
#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

// The fixed-size main window, showing one page at a time: the home view, or a page opened over
// it such as the settings. Its close button, Ctrl+W and the window manager all ask the close
// handler first, which may change the display mode before the window goes. Qt also closes
// every window while the application quits; that close is not the user's, so it asks nobody.
class MainWindow : public QWidget
{
    Q_OBJECT

public:
    // Every page is made at this size and fills the window.
    static constexpr QSize pageSize { 430, 665 };

    MainWindow();

    void setCloseHandler(std::function<bool()> handler) { m_closeHandler = std::move(handler); }

    // The page shown first and gone back to; the window takes every page it is given.
    void setHomePage(QWidget *page);
    // Takes a page without showing it.
    void addPage(QWidget *page);
    void showPage(QWidget *page);
    void showHomePage();
    // Ctrl+W: leaves another page for the home page first, then closes the window.
    void closeOrBack();

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::function<bool()> m_closeHandler;
    QPointer<QWidget> m_homePage;
    QPointer<QWidget> m_shownPage;
    bool m_applicationQuitting = false;
};
