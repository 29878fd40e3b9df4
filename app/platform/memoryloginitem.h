// SPDX-License-Identifier: MIT
#pragma once

#include "loginitem.h"

// A login item that lives in memory, for tests: every change is accepted and remembered.
class MemoryLoginItem : public LoginItem
{
public:
    Status status() const override { return m_status; }
    bool registerItem(QString *) override { return change(Status::Enabled); }
    bool unregisterItem(QString *) override { return change(Status::NotRegistered); }

private:
    bool change(Status to)
    {
        m_status = to;
        return true;
    }

    Status m_status = Status::NotRegistered;
};
