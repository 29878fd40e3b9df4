// SPDX-License-Identifier: MIT
#include "crashtext.h"

#include <QFile>
#include <QStringDecoder>

#include <cstdlib>
#include <cxxabi.h>
#include <exception>
#include <execinfo.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <typeinfo>
#include <unistd.h>
#include <vector>

namespace {
std::string readableName(const std::type_info &type)
{
    int status = -1;
    const std::unique_ptr<char, decltype(&std::free)> demangled(
        abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), &std::free);
    return status == 0 && demangled ? std::string(demangled.get()) : std::string(type.name());
}

// A descriptor for a regular file of ours at path, or -1. O_NOFOLLOW refuses a link, and
// O_NONBLOCK keeps a FIFO from holding the open until someone writes to it.
int openOwnRegularFile(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat info
    {
    };
    if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::getuid())
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

// Only called while an exception is being handled, so the rethrow always has one to throw.
std::string currentReason()
{
    try {
        throw;
    } catch (const std::exception &error) {
        const char *what = error.what();
        return what ? std::string(what) : std::string();
    } catch (...) {
        return {};
    }
}
} // namespace

CrashText::Record CrashText::splitRecord(const QString &text)
{
    const QStringList pieces = text.split(QLatin1String(separator));
    return { pieces.value(0), pieces.value(1) };
}

std::optional<QString> CrashText::readFile(const QString &path)
{
    const int fd = openOwnRegularFile(path);
    if (fd < 0)
        return std::nullopt;
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return std::nullopt;
    }
    const QByteArray bytes = file.read(readLimit);
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    // Invalid sequences become U+FFFD rather than losing the whole report; a sequence cut by the
    // size bound is left out.
    QStringDecoder decoder(QStringDecoder::Utf8);
    return QString(decoder.decode(bytes));
}

std::string CrashText::describeCurrentException()
{
    const std::type_info *type = abi::__cxa_current_exception_type();
    // std::terminate() called directly, for example by a joinable std::thread being destroyed.
    if (!type)
        return "Exception: std::terminate : called without an active exception";
    return "Exception: " + readableName(*type) + " : " + currentReason();
}

QString CrashText::currentStack(int maxFrames)
{
    std::vector<void *> frames(std::size_t(std::max(maxFrames, 0)));
    const int count = ::backtrace(frames.data(), int(frames.size()));
    const std::unique_ptr<char *, decltype(&std::free)> symbols(
        count > 0 ? ::backtrace_symbols(frames.data(), count) : nullptr, &std::free);
    QStringList lines;
    for (int i = 0; symbols && i < count; ++i)
        lines.append(QString::fromLocal8Bit(symbols.get()[i]));
    return lines.join(QLatin1Char('\n'));
}
