// SPDX-License-Identifier: MIT
#pragma once

#include "appdelegate.h"
#include "awakeengine.h"
#include "localisation.h"
#include "manualclock.h"
#include "memorylauncherbadge.h"
#include "memoryloginitem.h"
#include "memorypowerassertions.h"
#include "supportchannel.h"

#include <QMenu>
#include <QUrl>

#include <memory>

// An AppDelegate with nothing of the machine behind it: everything in memory, a manual clock,
// a closed update feed, the support server at the given addresses (none: exchanges fail).
struct ShellFixture
{
    void setUp(const QUrl &syncUrl = {}, const QUrl &reportUrl = {});
    AppDelegate &launch(bool menuBarMode = false, bool trayAvailable = true, bool onboarded = true);
    void tearDown(); // fails the test when an expected dialog never came

    std::unique_ptr<ManualClock> clock;
    MemoryPowerAssertions *assertions = nullptr;
    std::unique_ptr<AwakeEngine> engine;
    std::unique_ptr<SupportChannel> support;
    MemoryLoginItem *loginItem = nullptr;
    MemoryLauncherBadge *badge = nullptr;
    std::unique_ptr<AppDelegate> delegate;
};

// The menu's entry that reads title, leading spaces aside.
QAction *itemTitled(const QMenu *menu, const QString &title);
