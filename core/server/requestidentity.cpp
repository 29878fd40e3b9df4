// SPDX-License-Identifier: MIT
#include "requestidentity.h"

#include "buildinfo.h"
#include "settingkeys.h"

#include <QUuid>

namespace {
const QString unknown = QStringLiteral("?");
} // namespace

QString RequestIdentity::deviceId()
{
    if (const std::optional<QString> stored = SettingKeys::deviceId.stored())
        return *stored;
    const QString created = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    SettingKeys::deviceId.write(created);
    return created;
}

QString RequestIdentity::storedDeviceId()
{
    return SettingKeys::deviceId.stored().value_or(unknown);
}

QString RequestIdentity::versionText()
{
    const QString version = QString::fromUtf8(BuildInfo::version);
    return version.isEmpty() ? unknown : version;
}

QJsonObject RequestIdentity::fields(DeviceId id)
{
    return { { QStringLiteral("d"), id == DeviceId::Created ? deviceId() : storedDeviceId() },
             { QStringLiteral("v"), versionText() },
             { QStringLiteral("os"), systemText() } };
}
