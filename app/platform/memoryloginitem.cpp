// SPDX-License-Identifier: MIT
#include "memoryloginitem.h"

bool MemoryLoginItem::registerItem(QString *error)
{
    return change(Status::Enabled, error);
}

bool MemoryLoginItem::unregisterItem(QString *error)
{
    return change(Status::NotRegistered, error);
}

bool MemoryLoginItem::change(Status to, QString *error)
{
    if (!m_failure.isEmpty()) {
        if (error)
            *error = m_failure;
        return false;
    }
    m_status = to;
    return true;
}
