// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <memory>

// Whether the program starts by itself when the user logs in. The desktop holds the truth (the
// user may change it with the desktop's own tools), so status() asks afresh on every call and
// nothing is cached. registerItem() and unregisterItem() answer false with a reason a person
// can read; apply() is what the settings check box calls.
class LoginItem
{
public:
    enum class Status {
        NotRegistered, // no entry of ours
        Enabled, // the program starts at login
        Disabled, // an entry exists but the user or the desktop switched it off
        Invalid, // an entry exists but is unreadable or no usable launcher
    };

    virtual ~LoginItem() = default;

    virtual Status status() const = 0;
    virtual bool registerItem(QString *error) = 0;
    virtual bool unregisterItem(QString *error) = 0;

    bool isEnabled() const { return status() == Status::Enabled; }
    // Registers (on) or unregisters (off) and answers the state the check box should show: the
    // one asked for on success; on failure the reason goes to the system log and the answer is
    // whether the program really starts at login.
    bool apply(bool on);

    static std::unique_ptr<LoginItem> createPlatformDefault();
};
