// SPDX-License-Identifier: MIT
// veluna-server: the maker's end of the program's support messages, problem reports, crash
// reports and update feed.
#include "database.h"
#include "httpserver.h"
#include "serverconfig.h"
#include "updatefeed.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace {

QString configPath(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Serves the support exchanges, crash reports and update feed of Veluna. Every setting "
        "can also come from an environment variable VELUNA_SERVER_<KEY>."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({ QStringLiteral("config"), QStringLiteral("The INI configuration file."),
                       QStringLiteral("file") });
    parser.process(app);
    return parser.value(QStringLiteral("config"));
}

int fail(const QString &reason)
{
    std::fprintf(stderr, "veluna-server: %s\n", qPrintable(reason));
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    // Qt SQL loads its drivers through the application object; its event loop never runs.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(VELUNA_VERSION));
    const ServerConfig config = ServerConfig::load(configPath(app));
    if (!config.errors().isEmpty())
        return fail(config.errors().join(QStringLiteral("; ")));
    // The schema is brought up to date before the first connection is accepted.
    QString error;
    if (!Database::open(config, &error))
        return fail(QStringLiteral("database: %1").arg(error));
    HttpServer server(config, [](QSqlDatabase &db) { return UpdateFeed::render(db); });
    if (!server.run(&error))
        return fail(error);
    std::fprintf(stderr, "veluna-server: stopped\n");
    return 0;
}
