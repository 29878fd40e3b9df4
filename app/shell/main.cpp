#include "awakeengine.h"
#include "buildinfo.h"
#include "unixsignalwatcher.h"

#include <QApplication>

#include <csignal>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veluna"));
    QApplication::setApplicationVersion(QString::fromLatin1(BuildInfo::version));
    QApplication::setDesktopFileName(QStringLiteral("veluna"));

    UnixSignalWatcher quitSignals({ SIGTERM, SIGINT, SIGHUP });
    QObject::connect(&quitSignals, &UnixSignalWatcher::received, &app, &QApplication::quit);
    // Nothing may keep the machine awake once the program is gone.
    QObject::connect(&app, &QApplication::aboutToQuit, [] { AwakeEngine::shared().stop(); });
    return QApplication::exec();
}
