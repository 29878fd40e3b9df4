// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>

// Holds the inhibitions that keep the machine (and optionally the display) awake.
// create() answers a status code (0 on success) and an id; release(id) gives back exactly
// what that create() obtained. One implementation per operating system, picked by the build,
// and an in-memory one for tests.
//
// create() never waits for a service. It fails at once when nothing on the system could take
// the assertion; otherwise it succeeds and the request may still be in flight. A request that
// every service then refuses, or leaves unanswered past its deadline, ends in one call of the
// refused handler with its id (the assertion is gone by then; release() is still allowed).
// An answer that arrives after release() is given straight back. Whenever the service holding
// an assertion changes (granted, lost, taken again elsewhere), the holders-changed handler runs.
class PowerAssertions
{
public:
    enum class Type { PreventUserIdleSystemSleep, PreventUserIdleDisplaySleep };

    struct Result
    {
        qint32 code = 0;
        quint32 id = 0;
        bool ok() const { return code == success; }
    };

    // Who holds an assertion: a localisation key naming the service, and whether that hold also
    // keeps the screen on where the desktop gives no way to keep only the system awake.
    struct Holder
    {
        QString serviceKey;
        bool keepsScreenOn = false;
    };

    struct Handlers
    {
        std::function<void(quint32 id)> refused;
        std::function<void()> holdersChanged;
    };

    static constexpr qint32 success = 0;
    // The code of "nothing on this system accepted the request" (kIOReturnUnsupported on macOS,
    // which reads negative as a signed 32-bit number).
    static constexpr qint32 unsupported = qint32(0xE00002C7u);

    virtual ~PowerAssertions() = default;
    virtual Result create(Type type, const QString &name) = 0;
    virtual void release(quint32 id) = 0;
    // Nothing while the request is in flight or waiting for a service to come back.
    virtual std::optional<Holder> holder(quint32 id) const = 0;

    void setHandlers(Handlers handlers) { m_handlers = std::move(handlers); }

    // The implementation for the operating system the program was built for.
    static std::unique_ptr<PowerAssertions> createPlatformDefault();

protected:
    void reportRefused(quint32 id) const
    {
        if (m_handlers.refused)
            m_handlers.refused(id);
    }
    void reportHoldersChanged() const
    {
        if (m_handlers.holdersChanged)
            m_handlers.holdersChanged();
    }

private:
    Handlers m_handlers;
};
