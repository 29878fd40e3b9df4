#include "mainwindow.h"

#include <QCloseEvent>
#include <QCoreApplication>

MainWindow::MainWindow(const QSize &size)
{
    setFixedSize(size);
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
