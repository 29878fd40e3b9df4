#pragma once

#include <QWidget>

#include <functional>

// The fixed-size main window. Its close button, Ctrl+W and the window manager all ask the
// close handler first, which may change the display mode before the window goes. Qt also closes
// every window while the application quits; that close is not the user's, so it asks nobody.
class MainWindow : public QWidget
{
    Q_OBJECT

public:
    explicit MainWindow(const QSize &size);

    void setCloseHandler(std::function<bool()> handler) { m_closeHandler = std::move(handler); }

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::function<bool()> m_closeHandler;
    bool m_applicationQuitting = false;
};
