#include "appdelegate.h"

#include "alert.h"
#include "localisation.h"
#include "messageswindow.h"
#include "statusitemcontroller.h"
#include "supportchannel.h"
#include "symbolbutton.h"
#include "uikit.h"

#include <QApplication>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <QStyle>

namespace {
QString text(const char *key)
{
    return L(QString::fromLatin1(key));
}

void showResult(const char *titleKey, const char *messageKey, bool warning)
{
    Alert alert;
    alert.setMessageText(text(titleKey));
    alert.setInformativeText(text(messageKey));
    if (warning)
        alert.setIcon(alert.style()->standardIcon(QStyle::SP_MessageBoxWarning));
    alert.runModal();
}
} // namespace

void AppDelegate::syncWithServer()
{
    QPointer<AppDelegate> self(this);
    m_support.checkWithServer([self] {
        if (!self)
            return;
        self->refreshMessageBadges();
        if (self->m_support.pendingMessage() && self->m_mainWindow
            && self->m_mainWindow->isVisible())
            self->showPendingMessage();
    });
}

void AppDelegate::refreshMessageBadges()
{
    const bool open = m_support.isOpen();
    const bool unread = open && m_support.pendingMessage().has_value();
    m_launcherBadge->setCount(unread ? std::optional(1) : std::nullopt);
    if (m_messagesBadge) {
        m_messagesBadge->setPixmap(unread ? QPixmap::fromImage(UiKit::quotaBadgeImage(1, 14, 2.0))
                                          : QPixmap());
        m_messagesBadge->setVisible(unread);
    }
    if (m_messagesButton) {
        m_messagesButton->setVisible(open);
        if (auto *button = qobject_cast<SymbolButton *>(m_messagesButton.data()))
            button->setAccent(unread);
    }
    if (m_appMessagesItem)
        m_appMessagesItem->setVisible(open);
    if (m_statusController->isEnabled())
        m_statusController->enable(buildStatusMenu());
}

void AppDelegate::showPendingMessage()
{
    // A sync that ends while the alert is open would stack a second copy of the same message.
    static bool showing = false;
    if (showing || !m_support.pendingMessage())
        return;
    const QScopedValueRollback guard(showing, true);
    Alert alert;
    alert.setMessageText(text("messages.banner_title"));
    alert.setInformativeText(m_support.pendingMessage()->body);
    alert.addButton(text("messages.understood_button"));
    alert.runModal();
    m_support.markMessageShown();
    refreshMessageBadges();
}

void AppDelegate::showMessages()
{
    if (m_support.pendingMessage()) {
        m_support.markMessageShown();
        refreshMessageBadges();
    }
    if (!m_messagesWindow) {
        m_messagesWindow = std::make_unique<MessagesWindow>();
        connect(m_messagesWindow.get(), &MessagesWindow::sendRequested, this,
                &AppDelegate::sendReply);
    }
    m_messagesWindow->showHistory(m_support.messageHistory());
    m_messagesWindow->show();
    m_messagesWindow->raise();
    m_messagesWindow->activateWindow();
}

void AppDelegate::sendReply()
{
    QLineEdit *field = m_messagesWindow ? m_messagesWindow->replyField() : nullptr;
    if (!field)
        return;
    const QString reply = field->text().trimmed();
    if (reply.isEmpty())
        return;
    field->clear();
    m_support.archiveOwn(reply);
    showMessages();
    m_support.reportProblem(reply, std::nullopt, [](bool delivered) {
        if (!delivered)
            showResult("common.send_failed_title", "messages.send_failed_message", true);
    });
}
