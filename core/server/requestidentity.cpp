#include "requestidentity.h"

#include "buildinfo.h"
#include "defaultsstore.h"

#include <QUuid>

namespace {
const QString deviceIdKey = QStringLiteral("VLDeviceId");
const QString unknown = QStringLiteral("?");
} // namespace

QString RequestIdentity::deviceId()
{
    if (const std::optional<QString> stored = DefaultsStore::string(deviceIdKey))
        return *stored;
    const QString created = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    DefaultsStore::setValue(deviceIdKey, created);
    return created;
}

QString RequestIdentity::storedDeviceId()
{
    return DefaultsStore::string(deviceIdKey).value_or(unknown);
}

QString RequestIdentity::versionText()
{
    const QString version = QString::fromUtf8(BuildInfo::version);
    return version.isEmpty() ? unknown : version;
}
