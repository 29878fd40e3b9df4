// SPDX-License-Identifier: MIT
#include "unitylauncherbadge.h"

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

namespace {
const QString launcherEntryInterface = QStringLiteral("com.canonical.Unity.LauncherEntry");

// Listeners match on the application URI, not on the path, but the path should still be ours
// alone and the same in every run, so it is derived from the URI.
QString objectPathFor(const QString &appUri)
{
    const QByteArray digest
        = QCryptographicHash::hash(appUri.toUtf8(), QCryptographicHash::Sha1).toHex();
    return QStringLiteral("/com/canonical/unity/launcherentry/") + QString::fromLatin1(digest);
}
} // namespace

UnityLauncherBadge::UnityLauncherBadge(const QString &desktopId)
    : m_appUri(QStringLiteral("application://%1.desktop").arg(desktopId))
    , m_objectPath(objectPathFor(m_appUri))
{ }

void UnityLauncherBadge::publish(std::optional<int> count)
{
    QDBusMessage update = QDBusMessage::createSignal(m_objectPath, launcherEntryInterface,
                                                     QStringLiteral("Update"));
    const QVariantMap properties {
        { QStringLiteral("count"), QVariant::fromValue(qint64(count.value_or(0))) },
        { QStringLiteral("count-visible"), count.has_value() },
    };
    update << m_appUri << properties;
    QDBusConnection::sessionBus().send(update);
}
