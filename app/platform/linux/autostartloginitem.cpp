// SPDX-License-Identifier: MIT
#include "autostartloginitem.h"

#include "desktopentry.h"
#include "desktopidentity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {
// A launcher is a few hundred bytes; anything far larger is not one of ours.
constexpr qint64 maxEntrySize = 64 * 1024;

std::optional<DesktopEntry> readEntry(const QString &path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray text = file.read(maxEntrySize + 1);
    return text.size() > maxEntrySize ? std::nullopt : DesktopEntry::parse(text);
}

bool isLauncher(const DesktopEntry &entry)
{
    return entry.value(QStringLiteral("Type")) == QLatin1String("Application")
        && !entry.value(QStringLiteral("Exec")).trimmed().isEmpty();
}

bool fail(QString *error, const QString &reason)
{
    if (error)
        *error = reason;
    return false;
}

QString whyNoFolder(const QString &folder)
{
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir())
        return QStringLiteral("%1 exists but is not a folder").arg(folder);
    return QStringLiteral("the folder %1 cannot be created").arg(folder);
}
} // namespace

AutostartLoginItem::AutostartLoginItem(QString program)
    : m_program(std::move(program))
{ }

LoginItem::Status AutostartLoginItem::status() const
{
    const QFileInfo info(entryPath());
    if (!info.exists() && !info.isSymLink())
        return Status::NotRegistered;
    const std::optional<DesktopEntry> entry = readEntry(entryPath());
    if (!entry || !isLauncher(*entry))
        return Status::Invalid;
    const bool hidden = entry->boolean(QStringLiteral("Hidden")).value_or(false);
    const bool enabled = entry->boolean(QStringLiteral("X-GNOME-Autostart-enabled")).value_or(true);
    return hidden || !enabled ? Status::Disabled : Status::Enabled;
}

bool AutostartLoginItem::registerItem(QString *error)
{
    const QString folder = autostartFolder();
    if (!QDir().mkpath(folder))
        return fail(error, whyNoFolder(folder));
    QSaveFile file(entryPath());
    if (!file.open(QIODevice::WriteOnly) || file.write(entryText()) < 0 || !file.commit())
        return fail(error,
                    QStringLiteral("cannot write %1: %2").arg(entryPath(), file.errorString()));
    return true;
}

bool AutostartLoginItem::unregisterItem(QString *error)
{
    const QString path = entryPath();
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;
    if (info.isDir() && !info.isSymLink())
        return fail(error, QStringLiteral("%1 is a folder, not a launcher").arg(path));
    QFile file(path);
    if (!file.remove())
        return fail(error, QStringLiteral("cannot remove %1: %2").arg(path, file.errorString()));
    return true;
}

// Per the XDG base directory rules a relative XDG_CONFIG_HOME is invalid and ignored.
QString AutostartLoginItem::autostartFolder()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(config + QStringLiteral("/autostart"));
}

QString AutostartLoginItem::entryPath()
{
    return autostartFolder() + u'/' + QLatin1String(DesktopIdentity::desktopId)
        + QLatin1String(".desktop");
}

// Shown in the desktop's own list of startup programs (no NoDisplay), so the user can also
// switch it off there; status() honours that.
QByteArray AutostartLoginItem::entryText() const
{
    const QString exec = DesktopEntry::escapeValue(DesktopEntry::execArgument(m_program));
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Version=1.5\n"
                          "Name=Veluna\n"
                          "Exec=%1\n"
                          "Icon=%2\n"
                          "Terminal=false\n"
                          "StartupNotify=false\n"
                          "Hidden=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(exec, QLatin1String(DesktopIdentity::desktopId))
        .toUtf8();
}
