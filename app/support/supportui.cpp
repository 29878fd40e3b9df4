// SPDX-License-Identifier: MIT
#include "supportui.h"

#include "alert.h"
#include "launcherbadge.h"
#include "localisation.h"
#include "messageswindow.h"
#include "supportchannel.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QStyle>
#include <QTimer>

namespace {
constexpr std::chrono::hours serverSyncInterval { 1 };

void showResult(const char *titleKey, const char *messageKey, bool warning)
{
    Alert alert;
    alert.setMessageText(L(titleKey));
    alert.setInformativeText(L(messageKey));
    if (warning)
        alert.setIcon(alert.style()->standardIcon(QStyle::SP_MessageBoxWarning));
    alert.runModal();
}

void showReportResult(bool delivered)
{
    showResult(delivered ? "report.sent_title" : "common.send_failed_title",
               delivered ? "report.sent_message" : "report.failed_message", !delivered);
}

// The report's text field and the optional e-mail field under it.
QWidget *reportFields()
{
    auto *accessory = new QWidget;
    accessory->setFixedSize(380, 150);
    auto *report = new QPlainTextEdit(accessory);
    report->setObjectName(QStringLiteral("reportText"));
    report->setGeometry(0, 0, 380, 110);
    report->setTabChangesFocus(true);
    auto *email = new QLineEdit(accessory);
    email->setObjectName(QStringLiteral("emailField"));
    email->setGeometry(0, 126, 380, 24);
    email->setPlaceholderText(L("report.email_placeholder"));
    return accessory;
}
} // namespace

SupportUi::SupportUi(SupportChannel &channel, std::unique_ptr<LauncherBadge> launcherBadge,
                     QObject *parent)
    : QObject(parent)
    , m_channel(channel)
    , m_launcherBadge(std::move(launcherBadge))
{ }

SupportUi::~SupportUi() = default;

void SupportUi::startHourlySync()
{
    m_syncTimer = new QTimer(this);
    m_syncTimer->setTimerType(Qt::VeryCoarseTimer);
    m_syncTimer->setInterval(serverSyncInterval);
    connect(m_syncTimer, &QTimer::timeout, this, &SupportUi::syncWithServer);
    m_syncTimer->start();
}

void SupportUi::syncWithServer()
{
    QPointer<SupportUi> self(this);
    m_channel.checkWithServer([self] {
        if (!self)
            return;
        self->refreshMarkers();
        if (self->m_channel.pendingMessage() && self->m_mainWindow
            && self->m_mainWindow->isVisible())
            self->showPendingMessage();
    });
}

bool SupportUi::isOpen() const
{
    return m_channel.isOpen();
}

bool SupportUi::hasUnread() const
{
    return m_channel.isOpen() && m_channel.pendingMessage().has_value();
}

void SupportUi::refreshMarkers()
{
    m_launcherBadge->setCount(hasUnread() ? std::optional(1) : std::nullopt);
    emit markersChanged();
}

void SupportUi::showPendingMessage()
{
    if (m_showingMessage || !m_channel.pendingMessage())
        return;
    const QScopedValueRollback guard(m_showingMessage, true);
    Alert alert;
    alert.setMessageText(L("messages.banner_title"));
    alert.setInformativeText(m_channel.pendingMessage()->body);
    alert.addButton(L("messages.understood_button"));
    alert.runModal();
    m_channel.markMessageShown();
    refreshMarkers();
}

void SupportUi::showMessages()
{
    if (m_channel.pendingMessage()) {
        m_channel.markMessageShown();
        refreshMarkers();
    }
    if (!m_messagesWindow) {
        m_messagesWindow = std::make_unique<MessagesWindow>();
        connect(m_messagesWindow.get(), &MessagesWindow::sendRequested, this,
                &SupportUi::sendReply);
    }
    m_messagesWindow->showHistory(m_channel.messageHistory());
    m_messagesWindow->show();
    m_messagesWindow->raise();
    m_messagesWindow->activateWindow();
}

void SupportUi::sendReply()
{
    QLineEdit *field = m_messagesWindow ? m_messagesWindow->replyField() : nullptr;
    if (!field)
        return;
    const QString reply = field->text().trimmed();
    if (reply.isEmpty())
        return;
    field->clear();
    m_channel.archiveOwn(reply);
    showMessages();
    m_channel.reportProblem(reply, std::nullopt, [](bool delivered) {
        if (!delivered)
            showResult("common.send_failed_title", "messages.send_failed_message", true);
    });
}

void SupportUi::reportProblem()
{
    Alert alert;
    alert.setMessageText(L("report.title"));
    alert.setInformativeText(L("report.message"));
    QWidget *fields = reportFields();
    alert.setAccessoryWidget(fields);
    alert.addButton(L("common.send"));
    alert.addButton(L("common.cancel"));
    auto *report = fields->findChild<QPlainTextEdit *>();
    report->setFocus();
    if (alert.runModal() != Alert::FirstButton)
        return;
    const QString message = report->toPlainText().trimmed();
    if (message.isEmpty())
        return;
    m_channel.reportProblem(message, fields->findChild<QLineEdit *>()->text(), showReportResult);
}
