#include "appdelegate.h"
#include "awakeengine.h"
#include "buildinfo.h"
#include "statusitemcontroller.h"
#include "unixsignalwatcher.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>

#include <csignal>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veluna"));
    QApplication::setApplicationDisplayName(QStringLiteral("Veluna"));
    QApplication::setApplicationVersion(QString::fromLatin1(BuildInfo::version));
    QApplication::setDesktopFileName(QStringLiteral("veluna"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/veluna.svg")));
    QApplication::setQuitOnLastWindowClosed(false);

    AppDelegate delegate(AwakeEngine::shared(), { StatusItemController::isTrayAvailable() });
    UnixSignalWatcher quitSignals({ SIGTERM, SIGINT, SIGHUP });
    QObject::connect(&quitSignals, &UnixSignalWatcher::received, &app, &QApplication::quit);
    // Nothing may keep the machine awake once the program is gone.
    QObject::connect(&app, &QApplication::aboutToQuit, &delegate,
                     &AppDelegate::applicationWillTerminate);
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    return QApplication::exec();
}
