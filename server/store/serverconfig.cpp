// SPDX-License-Identifier: MIT
#include "serverconfig.h"

#include "database.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QThread>

#include <memory>

// One key looked up in the environment first, then in the file.
class ServerConfig::Reader
{
public:
    Reader(const QString &path, QStringList &errors)
        : m_errors(errors)
    {
        if (path.isEmpty())
            return;
        if (!QFileInfo(path).isFile())
            m_errors << QStringLiteral("%1: no such configuration file").arg(path);
        else
            m_file = std::make_unique<QSettings>(path, QSettings::IniFormat);
    }

    QString text(const char *key, const QString &fallback) const
    {
        const QByteArray variable = "VELUNA_SERVER_" + QByteArray(key).toUpper();
        if (qEnvironmentVariableIsSet(variable.constData()))
            return qEnvironmentVariable(variable.constData());
        if (m_file && m_file->contains(QLatin1String(key)))
            return m_file->value(QLatin1String(key)).toString();
        return fallback;
    }

    // Integers within [minimum, maximum]; anything else is an error.
    qint64 number(const char *key, qint64 fallback, qint64 minimum, qint64 maximum) const
    {
        const QString value = text(key, QString::number(fallback)).trimmed();
        bool ok = false;
        const qint64 parsed = value.toLongLong(&ok);
        if (ok && parsed >= minimum && parsed <= maximum)
            return parsed;
        m_errors << QStringLiteral("%1: \"%2\" is not a whole number from %3 to %4")
                        .arg(QLatin1String(key), value)
                        .arg(minimum)
                        .arg(maximum);
        return fallback;
    }

    // Endpoint paths are matched exactly, so they must look like paths.
    QString path(const char *key, const QString &fallback) const
    {
        const QString value = text(key, fallback);
        if (!value.startsWith(QLatin1Char('/')))
            m_errors
                << QStringLiteral("%1: \"%2\" must start with /").arg(QLatin1String(key), value);
        return value;
    }

private:
    QStringList &m_errors;
    std::unique_ptr<QSettings> m_file;
};

ServerConfig ServerConfig::load(const QString &path)
{
    ServerConfig config;
    const Reader read(path, config.m_errors);
    constexpr qint64 maxBody = 64 * 1024 * 1024;
    config.m_listen = read.text("listen", QStringLiteral("127.0.0.1"));
    config.m_port = quint16(read.number("port", 8080, 0, 65535));
    config.m_database = read.text("database", defaultDatabase());
    config.m_syncPath = read.path("sync_path", QStringLiteral("/api/veluna/sync"));
    config.m_reportPath = read.path("report_path", QStringLiteral("/api/veluna/report"));
    config.m_crashPath = read.path("crash_path", QStringLiteral("/api/veluna/crash"));
    config.m_feedPath = read.path("feed_path", QStringLiteral("/veluna/appcast.xml"));
    config.m_bodyLimit = read.number("body_limit", 65536, 256, maxBody);
    config.m_crashBodyLimit = read.number("crash_body_limit", 262144, 256, maxBody);
    config.m_headerTimeout = int(read.number("header_timeout", 10, 1, 3600));
    config.m_bodyTimeout = int(read.number("body_timeout", 10, 1, 3600));
    config.m_maxConnections = int(read.number("max_connections", 256, 1, 1000000));
    config.m_ratePerMinute = int(read.number("rate_per_minute", 30, 1, 1000000));
    config.m_threads = int(read.number("threads", defaultThreads(config.m_database), 1, 256));
    config.m_tlsCertificate = read.text("tls_certificate", QString());
    config.m_tlsKey = read.text("tls_key", QString());
    if (config.m_tlsCertificate.isEmpty() != config.m_tlsKey.isEmpty())
        config.m_errors << QStringLiteral("tls_certificate and tls_key go together");
    return config;
}

// A thread waits while its connection runs a statement. SQLite writes one transaction at a time
// and answers in microseconds, so a thread per core keeps the cores busy; PostgreSQL spends most
// of a sync waiting for its commit to reach the disk, and many connections committing at once
// share one flush, so it gets several threads per core.
int ServerConfig::defaultThreads(const QString &database)
{
    const int cores = qMax(2, QThread::idealThreadCount());
    return Database::dialect(database) == Migrations::Dialect::Postgresql ? 8 * cores : cores;
}

QString ServerConfig::defaultDatabase()
{
    // systemd's StateDirectory= may list several folders separated by colons; ours is the first.
    const QString state = qEnvironmentVariable("STATE_DIRECTORY").section(QLatin1Char(':'), 0, 0);
    if (!state.isEmpty())
        return QDir(state).filePath(QStringLiteral("veluna.db"));
    QString xdg = qEnvironmentVariable("XDG_STATE_HOME");
    if (xdg.isEmpty())
        xdg = QDir::home().filePath(QStringLiteral(".local/state"));
    return QDir(xdg).filePath(QStringLiteral("veluna-server/veluna.db"));
}
