// SPDX-License-Identifier: MIT
#include "crashreporter.h"

#include "boundedrequest.h"
#include "crashtext.h"
#include "endpoints.h"
#include "requestidentity.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonObject>
#include <QThread>

namespace {
QJsonObject reportBody(const QString &kind, const QString &message, const QString &stack)
{
    QJsonObject body = RequestIdentity::fields(RequestIdentity::DeviceId::StoredOnly);
    body.insert(QStringLiteral("kind"), kind);
    body.insert(QStringLiteral("message"), message);
    body.insert(QStringLiteral("stack"), stack);
    return body;
}

// Fire and forget: the request only has to be freed; its status and errors are ignored. A
// report goes to the configured address or nowhere: no redirect is followed.
void post(const QUrl &address, const QJsonObject &body, std::chrono::milliseconds deadline)
{
    // The answer is never used.
    const BoundedRequest::Limits limits { .deadline = deadline,
                                          .maxBodySize = 64 * 1024,
                                          .maxRedirects = 0 };
    BoundedRequest *request
        = BoundedRequest::postJson(address, body, limits, QCoreApplication::instance());
    QObject::connect(request, &BoundedRequest::finished, request, &QObject::deleteLater);
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
void CrashReporter::send(const QString &kind, const QString &message, const QString &stack,
                         std::chrono::milliseconds deadline)
{
    QCoreApplication *application = QCoreApplication::instance();
    if (!application)
        return;
    if (QThread::currentThread() != application->thread()) {
        QMetaObject::invokeMethod(application, [=] { send(kind, message, stack, deadline); });
        return;
    }
    if (const QUrl address = Endpoints::crash(); !address.isEmpty())
        post(address, reportBody(kind, message, stack), deadline);
}
