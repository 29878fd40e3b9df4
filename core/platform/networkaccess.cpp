// SPDX-License-Identifier: MIT
#include "networkaccess.h"

#include <QHostAddress>
#include <QNetworkReply>
#include <QUrl>

namespace {
bool isLoopback(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

// Qt keeps a connection open for two minutes after its last reply in case another request
// follows, and wakes to close it then. Our exchanges are an hour or more apart, so the
// connections (and the network thread) go as soon as no transfer is left.
class IdleReleasingManager : public QNetworkAccessManager
{
protected:
    QNetworkReply *createRequest(Operation operation, const QNetworkRequest &request,
                                 QIODevice *outgoingData) override
    {
        QNetworkReply *reply
            = QNetworkAccessManager::createRequest(operation, request, outgoingData);
        ++m_running;
        connect(reply, &QNetworkReply::finished, this, [this] {
            // Queued: the reply's own handlers run first, and may start the next request.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (--m_running == 0)
                        clearConnectionCache();
                },
                Qt::QueuedConnection);
        });
        return reply;
    }

private:
    int m_running = 0;
};
} // namespace

QNetworkAccessManager &NetworkAccess::shared()
{
    static IdleReleasingManager manager;
    return manager;
}

bool NetworkAccess::isAllowed(const QUrl &url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("https")
        || (scheme == QLatin1String("http") && isLoopback(url.host()));
}
