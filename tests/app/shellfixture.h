#pragma once

#include "appdelegate.h"
#include "awakeengine.h"
#include "manualclock.h"
#include "memorylauncherbadge.h"
#include "memoryloginitem.h"
#include "memorypowerassertions.h"
#include "supportchannel.h"

#include <QMenu>
#include <QUrl>

#include <memory>

// One AppDelegate with nothing of the machine behind it: an engine on a manual clock holding
// in-memory assertions, a login item and a launcher badge in memory, an updater whose feed is a
// closed local port, and a support channel that talks to the given addresses (none: every
// exchange fails quietly, as with no network). setUp() also empties the settings and the queue
// of dialog answers; tearDown() fails the test when an expected dialog never came.
struct ShellFixture
{
    void setUp(const QUrl &syncUrl = {}, const QUrl &reportUrl = {});
    // Stores the settings of a launch that is not the first, in the given display mode.
    static void storeOnboarded(bool menuBarMode);
    // Builds the delegate and runs its start-up sequence.
    void launch(bool trayAvailable = true);
    void tearDown();

    std::unique_ptr<ManualClock> clock;
    MemoryPowerAssertions *assertions = nullptr;
    std::unique_ptr<AwakeEngine> engine;
    std::unique_ptr<SupportChannel> support;
    MemoryLoginItem *loginItem = nullptr;
    MemoryLauncherBadge *badge = nullptr;
    std::unique_ptr<AppDelegate> delegate;
};

QString text(const char *key);
// A menu's entries as the user reads them, "---" for a separator.
QStringList titles(const QMenu *menu);
QAction *itemTitled(const QMenu *menu, const QString &title);
