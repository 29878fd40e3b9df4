// SPDX-License-Identifier: MIT
#include "loginitem.h"

#include "systemlog.h"

bool LoginItem::apply(bool on)
{
    QString error;
    if (on ? registerItem(&error) : unregisterItem(&error))
        return on;
    SystemLog::write(QStringLiteral("Veluna: ouverture à la connexion: ") + error);
    return isEnabled();
}
