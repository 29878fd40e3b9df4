// SPDX-License-Identifier: MIT
#include "crashrecordwriter.h"

#include "crashtext.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>

namespace {
char finalPath[PATH_MAX];
char temporaryPath[PATH_MAX];
bool prepared = false;

void writeAll(int fd, const char *data, std::size_t length)
{
    while (length > 0) {
        const ssize_t written = ::write(fd, data, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        data += written;
        length -= std::size_t(written);
    }
}

// backtrace_symbols_fd() ends every frame with a newline; the record ends without one.
bool dropFinalNewline(int fd)
{
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    char last = 0;
    return end > 0 && ::pread(fd, &last, 1, end - 1) == 1 && last == '\n'
        && ::ftruncate(fd, end - 1) == 0;
}

void writeStack(int fd)
{
    void *frames[CrashRecordWriter::maxFrames];
    const int count = ::backtrace(frames, CrashRecordWriter::maxFrames);
    if (count <= 0)
        return;
    ::backtrace_symbols_fd(frames, count, fd);
    dropFinalNewline(fd);
}
} // namespace

bool CrashRecordWriter::prepare(const QString &recordPath)
{
    const QByteArray path = QFile::encodeName(recordPath);
    const int length = std::snprintf(temporaryPath, sizeof temporaryPath, "%s.%ld.tmp",
                                     path.constData(), long(::getpid()));
    prepared = !path.isEmpty() && path.size() < qsizetype(sizeof finalPath) && length > 0
        && std::size_t(length) < sizeof temporaryPath;
    if (prepared)
        std::memcpy(finalPath, path.constData(), std::size_t(path.size()) + 1);
    // The first backtrace() loads the unwinder, which allocates: do it now, not in a crash.
    void *frame = nullptr;
    ::backtrace(&frame, 1);
    return prepared;
}

void CrashRecordWriter::write(const char *message, std::size_t length)
{
    if (!prepared)
        return;
    // Opened for reading too: the last byte is checked before it is cut.
    const int fd = ::open(temporaryPath, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    writeAll(fd, message, length);
    writeAll(fd, CrashText::separator, sizeof CrashText::separator - 1);
    writeStack(fd);
    ::close(fd);
    ::rename(temporaryPath, finalPath);
}
