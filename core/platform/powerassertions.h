#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>

// Holds the inhibitions that keep the machine (and optionally the display) awake.
// create() answers a status code (0 on success) and an id; release(id) gives back exactly
// what that create() obtained. One implementation per operating system, picked by the build,
// and an in-memory one for tests.
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

    static constexpr qint32 success = 0;
    // The code of "nothing on this system accepted the request" (kIOReturnUnsupported on macOS,
    // which reads negative as a signed 32-bit number).
    static constexpr qint32 unsupported = qint32(0xE00002C7u);

    virtual ~PowerAssertions() = default;
    virtual Result create(Type type, const QString &name) = 0;
    virtual void release(quint32 id) = 0;

    // The implementation for the operating system the program was built for.
    static std::unique_ptr<PowerAssertions> createPlatformDefault();
};
