// SPDX-License-Identifier: MIT
#pragma once

#include "loginitem.h"

// A login item that lives in memory, for tests: every change is accepted and remembered.
class MemoryLoginItem : public LoginItem
{
public:
    Status status() const override { return m_status; }
    bool registerItem(QString *) override
    {
        m_status = Status::Enabled;
        return true;
    }
    bool unregisterItem(QString *) override
    {
        m_status = Status::NotRegistered;
        return true;
    }

private:
    Status m_status = Status::NotRegistered;
};
