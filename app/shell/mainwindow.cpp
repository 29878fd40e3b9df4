// SPDX-License-Identifier: MIT
#include "mainwindow.h"

#include <QCloseEvent>
#include <QCoreApplication>

MainWindow::MainWindow()
{
    setFixedSize(pageSize);
    // A fixed layout: no maximise button, nothing to resize.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAttribute(Qt::WA_QuitOnClose, false);
    // Every way of quitting (the menu, Ctrl+Q, a signal, the end of the session) passes the
    // application's quit event, which comes before Qt closes the windows.
    QCoreApplication::instance()->installEventFilter(this);
}

void MainWindow::addPage(QWidget *page)
{
    if (page->parentWidget() == this)
        return;
    page->setParent(this);
    page->setGeometry(rect());
    page->setVisible(page == m_shownPage);
}

void MainWindow::setHomePage(QWidget *page)
{
    m_homePage = page;
    m_shownPage = page;
    addPage(page);
}

void MainWindow::showPage(QWidget *page)
{
    addPage(page);
    if (m_shownPage && m_shownPage != page)
        m_shownPage->hide();
    m_shownPage = page;
    page->show();
}

void MainWindow::showHomePage()
{
    if (m_homePage)
        showPage(m_homePage);
}

void MainWindow::closeOrBack()
{
    if (m_shownPage && m_shownPage != m_homePage && m_shownPage->isVisibleTo(this))
        showHomePage();
    else
        close();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit)
        m_applicationQuitting = true;
    return false;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_applicationQuitting) {
        event->accept();
        return;
    }
    if (m_closeHandler && !m_closeHandler()) {
        event->ignore();
        return;
    }
    event->accept();
    emit closed();
}
