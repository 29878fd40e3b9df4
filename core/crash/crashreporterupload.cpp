#include "crashreporter.h"

#include "crashtext.h"
#include "endpoints.h"
#include "networkaccess.h"
#include "requestidentity.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>

namespace {
constexpr int uploadTimeoutMs = 8000;

QByteArray reportBody(const QString &kind, const QString &message, const QString &stack)
{
    const QJsonObject body {
        { QStringLiteral("d"), RequestIdentity::storedDeviceId() },
        { QStringLiteral("kind"), kind },
        { QStringLiteral("message"), message },
        { QStringLiteral("stack"), stack },
        { QStringLiteral("v"), RequestIdentity::versionText() },
        { QStringLiteral("os"), RequestIdentity::systemText() },
    };
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

// Fire and forget: the reply only has to be freed; its status and errors are ignored. A report
// goes to the configured address or nowhere: a redirect could lead it off to clear text.
void post(const QUrl &address, const QByteArray &body)
{
    QNetworkRequest request(address);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setTransferTimeout(uploadTimeoutMs);
    QNetworkReply *reply = NetworkAccess::shared().post(request, body);
    QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
}
} // namespace

void CrashReporter::sendPendingCrash()
{
    const QString path = pendingCrashPath();
    const std::optional<QString> record = path.isEmpty() ? std::nullopt : CrashText::readFile(path);
    if (!record)
        return;
    QFile::remove(path);
    const CrashText::Record pieces = CrashText::splitRecord(*record);
    send(QStringLiteral("crash"), pieces.message, pieces.stack);
}

// The network manager lives on the main thread, so a report from another thread is handed there.
void CrashReporter::send(const QString &kind, const QString &message, const QString &stack)
{
    QCoreApplication *application = QCoreApplication::instance();
    if (!application)
        return;
    if (QThread::currentThread() != application->thread()) {
        QMetaObject::invokeMethod(application,
                                  [kind, message, stack] { send(kind, message, stack); });
        return;
    }
    if (const QUrl address = Endpoints::crash(); !address.isEmpty())
        post(address, reportBody(kind, message, stack));
}
