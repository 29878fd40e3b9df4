#include "crashreporter.h"

#include "boundedrequest.h"
#include "crashtext.h"
#include "endpoints.h"
#include "requestidentity.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

namespace {
// The whole upload, answer included; the answer is never used.
constexpr BoundedRequest::Limits uploadLimits { .deadline = std::chrono::seconds(8),
                                                .maxBodySize = 64 * 1024,
                                                .maxRedirects = 0 };

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

// Fire and forget: the request only has to be freed; its status and errors are ignored. A
// report goes to the configured address or nowhere: no redirect is followed.
void post(const QUrl &address, const QByteArray &body)
{
    BoundedRequest *request = BoundedRequest::post(address, body, "application/json", uploadLimits,
                                                   QCoreApplication::instance());
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
