// SPDX-License-Identifier: MIT
#include "settingsfile.h"

#include "jsonsettingsformat.h"
#include "systemlog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

QString lastError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

std::optional<struct stat> linkStatus(const QString &path)
{
    struct stat status
    {
    };
    if (::lstat(encoded(path).constData(), &status) != 0)
        return std::nullopt;
    return status;
}

// Opened without blocking and checked on the open descriptor, so a FIFO, a device or a
// directory is never read, whatever took the path's place in the meantime.
std::optional<QByteArray> readRegular(const QString &path, int extraFlags)
{
    const int fd
        = ::open(encoded(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | extraFlags);
    if (fd < 0)
        return std::nullopt;
    const auto closer = qScopeGuard([fd] { ::close(fd); });
    struct stat status
    {
    };
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return std::nullopt;
    return file.read(JsonSettingsFormat::maximumFileSize + 1);
}

// A hard link keeps the very bytes, whatever their size, and never replaces an earlier copy;
// file systems without hard links get a plain copy.
bool keepAs(const QString &path, const QString &backup)
{
    if (::link(encoded(path).constData(), encoded(backup).constData()) == 0)
        return true;
    return errno != EEXIST && QFile::copy(path, backup);
}

void setAside(const QString &path)
{
    QString backup = path + QStringLiteral(".unreadable");
    for (int n = 2; linkStatus(backup); ++n)
        backup = path + QStringLiteral(".unreadable-%1").arg(n);
    if (keepAs(path, backup) && ::unlink(encoded(path).constData()) == 0)
        SystemLog::write(QStringLiteral("Veluna: réglages illisibles, copie conservée dans ")
                         + backup);
    else
        SystemLog::write(
            QStringLiteral("Veluna: réglages illisibles, aucune copie possible dans %1 : %2")
                .arg(backup, lastError()));
}

SettingsFile::Contents loadRegular(const QString &path)
{
    const std::optional<QByteArray> bytes = readRegular(path, O_NOFOLLOW);
    std::optional<QVariantMap> values = bytes ? JsonSettingsFormat::parse(*bytes) : std::nullopt;
    // An empty file holds nothing to keep.
    if (!values && (!bytes || !bytes->trimmed().isEmpty()))
        setAside(path);
    return { values.value_or(QVariantMap()), path };
}

bool isOurs(const QVariantMap &values)
{
    const QStringList keys = values.keys();
    return std::all_of(keys.cbegin(), keys.cend(),
                       [](const QString &key) { return key.startsWith(QLatin1String("VL")); });
}

// People keep dotfiles in managed folders and link them in; such a link is followed. Anything
// else behind a link (another program's file, a device, nothing at all) stays as it is, and our
// settings take the link's place at the next write.
SettingsFile::Contents loadThroughLink(const QString &path)
{
    const std::optional<QByteArray> bytes = readRegular(path, 0);
    const std::optional<QVariantMap> values
        = bytes ? JsonSettingsFormat::parse(*bytes) : std::nullopt;
    if (values && isOurs(*values))
        return { *values, QFileInfo(path).canonicalFilePath() };
    SystemLog::write(QStringLiteral("Veluna: %1 est un lien vers %2, qui n'est pas un fichier de "
                                    "réglages de Veluna ; la cible reste intacte, le lien sera "
                                    "remplacé par un fichier de réglages")
                         .arg(path, QFileInfo(path).symLinkTarget()));
    return { {}, path };
}

// A replaced file keeps its permissions; a new one is the user's alone.
void keepMode(int fd, const QString &path)
{
    struct stat status
    {
    };
    if (::stat(encoded(path).constData(), &status) == 0 && S_ISREG(status.st_mode))
        ::fchmod(fd, status.st_mode & 07777);
}

QString writeAll(QTemporaryFile &file, const QByteArray &bytes)
{
    if (file.write(bytes) != bytes.size() || !file.flush())
        return file.errorString();
    return ::fsync(file.handle()) == 0 ? QString() : lastError();
}
} // namespace

SettingsFile::Contents SettingsFile::load(const QString &path)
{
    const std::optional<struct stat> status = linkStatus(path);
    if (!status)
        return { {}, path };
    if (S_ISLNK(status->st_mode))
        return loadThroughLink(path);
    if (S_ISREG(status->st_mode))
        return loadRegular(path);
    SystemLog::write(
        QStringLiteral("Veluna: réglages illisibles, %1 n'est pas un fichier ordinaire").arg(path));
    return { {}, path };
}

// rename() replaces a link itself, not its target, and never leaves a half-written file.
QString SettingsFile::save(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QTemporaryFile file(path + QStringLiteral(".XXXXXX"));
    if (!file.open())
        return file.errorString();
    keepMode(int(file.handle()), path);
    if (const QString error = writeAll(file, bytes); !error.isEmpty())
        return error;
    if (::rename(encoded(file.fileName()).constData(), encoded(path).constData()) != 0)
        return lastError();
    file.setAutoRemove(false);
    return {};
}
