// SPDX-License-Identifier: MIT
#include "appdelegate.h"
#include "awakeengine.h"
#include "buildinfo.h"
#include "commandlinetool.h"
#include "controlservice.h"
#include "desktopidentity.h"
#include "singleinstance.h"
#include "statusitemcontroller.h"
#include "supportchannel.h"
#include "uikit.h"
#include "unixsignalwatcher.h"

#include <QApplication>
#include <QDBusConnection>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <optional>

namespace {

// The exit status of a launch that must not become the program, because another copy runs.
std::optional<int> exitInsteadOfRunning(SingleInstance &instance)
{
    switch (instance.claim()) {
    case SingleInstance::Claim::HandedOver:
        return 0;
    case SingleInstance::Claim::OwnerUnreachable:
        // A second full copy would fight the first over the same settings.
        qCritical("Veluna is already running but does not answer.");
        return 1;
    case SingleInstance::Claim::Owner:
    case SingleInstance::Claim::Unguarded:
        break;
    }
    return std::nullopt;
}

// What a reopen is told about windows: popups, tooltips and windows the window manager never
// sees (such as an old-style tray icon's) do not count.
bool hasVisibleWindows()
{
    const QWidgetList widgets = QApplication::topLevelWidgets();
    return std::any_of(widgets.cbegin(), widgets.cend(), [](const QWidget *widget) {
        const Qt::WindowType type = widget->windowType();
        return widget->isVisible() && (type == Qt::Window || type == Qt::Dialog || type == Qt::Tool)
            && !widget->windowFlags().testFlag(Qt::BypassWindowManagerHint);
    });
}

// A command such as `veluna start 30m`: no window, no display needed, done in one go.
int runCommandLine(int argc, char *argv[], const QString &desktopId)
{
    QCoreApplication app(argc, argv);
    const ControlCommand command = ControlCommand::parse(QCoreApplication::arguments());
    return CommandLineTool(desktopId, QCoreApplication::applicationFilePath()).run(command);
}

} // namespace

int main(int argc, char *argv[])
{
    const QString desktopId = QString::fromLatin1(DesktopIdentity::desktopId);
    if (argc > 1 && !ControlCommand::isToolkitOption(QString::fromLocal8Bit(argv[1])))
        return runCommandLine(argc, argv, desktopId);
    const auto instance = SingleInstance::createPlatformDefault(desktopId);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veluna"));
    QApplication::setApplicationDisplayName(QStringLiteral("Veluna"));
    QApplication::setApplicationVersion(QString::fromLatin1(BuildInfo::version));
    QApplication::setDesktopFileName(desktopId);
    ControlService control(AwakeEngine::shared());
    control.registerOn(QDBusConnection::sessionBus(), desktopId);
    if (const std::optional<int> status = exitInsteadOfRunning(*instance))
        return *status;
    QApplication::setWindowIcon(UiKit::applicationIcon());
    QApplication::setQuitOnLastWindowClosed(false);

    AppDelegate::Options options;
    options.trayAvailable = StatusItemController::isTrayAvailable();
    AppDelegate delegate(AwakeEngine::shared(), SupportChannel::shared(), std::move(options));
    QObject::connect(instance.get(), &SingleInstance::reopenRequested, &delegate,
                     [&delegate] { delegate.applicationShouldHandleReopen(hasVisibleWindows()); });
    UnixSignalWatcher quitSignals({ SIGTERM, SIGINT, SIGHUP });
    QObject::connect(&quitSignals, &UnixSignalWatcher::received, &app, &QApplication::quit);
    // Nothing may keep the machine awake once the program is gone.
    QObject::connect(&app, &QApplication::aboutToQuit, &delegate,
                     &AppDelegate::applicationWillTerminate);
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    return QApplication::exec();
}
