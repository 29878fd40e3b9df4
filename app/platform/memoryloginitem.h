// SPDX-License-Identifier: MIT
#pragma once

#include "loginitem.h"

// A login item that lives in memory, for tests: it remembers its status and, once told a
// reason with setFailure(), refuses every change with that reason until told an empty one.
class MemoryLoginItem : public LoginItem
{
public:
    Status status() const override { return m_status; }
    bool registerItem(QString *error) override;
    bool unregisterItem(QString *error) override;

    void setStatus(Status status) { m_status = status; }
    void setFailure(const QString &reason) { m_failure = reason; }

private:
    bool change(Status to, QString *error);

    Status m_status = Status::NotRegistered;
    QString m_failure;
};
