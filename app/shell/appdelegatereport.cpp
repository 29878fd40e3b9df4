#include "appdelegate.h"

#include "alert.h"
#include "localisation.h"
#include "supportchannel.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStyle>

namespace {
QString text(const char *key)
{
    return L(QString::fromLatin1(key));
}

void showReportResult(bool delivered)
{
    Alert alert;
    alert.setMessageText(text(delivered ? "report.sent_title" : "common.send_failed_title"));
    alert.setInformativeText(text(delivered ? "report.sent_message" : "report.failed_message"));
    if (!delivered)
        alert.setIcon(alert.style()->standardIcon(QStyle::SP_MessageBoxWarning));
    alert.runModal();
}
} // namespace

void AppDelegate::reportProblemPressed()
{
    Alert alert;
    alert.setMessageText(text("report.title"));
    alert.setInformativeText(text("report.message"));
    auto *accessory = new QWidget;
    accessory->setFixedSize(380, 150);
    auto *report = new QPlainTextEdit(accessory);
    report->setObjectName(QStringLiteral("reportText"));
    report->setGeometry(0, 0, 380, 110);
    report->setTabChangesFocus(true);
    auto *email = new QLineEdit(accessory);
    email->setObjectName(QStringLiteral("emailField"));
    email->setGeometry(0, 126, 380, 24);
    email->setPlaceholderText(text("report.email_placeholder"));
    alert.setAccessoryWidget(accessory);
    alert.addButton(text("common.send"));
    alert.addButton(text("common.cancel"));
    report->setFocus();
    if (alert.runModal() != Alert::FirstButton)
        return;
    const QString message = report->toPlainText().trimmed();
    if (message.isEmpty())
        return;
    m_support.reportProblem(message, email->text(), showReportResult);
}
