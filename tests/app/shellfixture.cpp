// SPDX-License-Identifier: MIT
#include "shellfixture.h"

#include "alert.h"
#include "defaultsstore.h"
#include "settingkeys.h"
#include "updater.h"

#include <QStandardPaths>
#include <QTest>

void ShellFixture::setUp(const QUrl &syncUrl, const QUrl &reportUrl)
{
    QStandardPaths::setTestModeEnabled(true);
    DefaultsStore::clear();
    Alert::clearPendingAnswers();
    clock = std::make_unique<ManualClock>();
    auto memory = std::make_unique<MemoryPowerAssertions>();
    assertions = memory.get();
    engine = std::make_unique<AwakeEngine>(std::move(memory), *clock);
    support = std::make_unique<SupportChannel>(syncUrl, [reportUrl] { return reportUrl; });
}

AppDelegate &ShellFixture::launch(bool menuBarMode, bool trayAvailable, bool onboarded)
{
    DefaultsStore::setValue(SettingKeys::onboarded.key(), onboarded);
    DefaultsStore::setValue(SettingKeys::menuBarMode.key(), menuBarMode);
    const QUrl closed(QStringLiteral("http://127.0.0.1:9/appcast.xml"));
    delegate = std::make_unique<AppDelegate>(
        *engine, *support,
        AppDelegate::Options {
            .trayAvailable = trayAvailable,
            .installCrashReporter = false,
            .launcherBadge = std::unique_ptr<LauncherBadge>(badge = new MemoryLauncherBadge),
            .updater = std::make_unique<Updater>(
                Updater::Config { .feedUrl = closed, .clock = clock.get() }),
            .loginItem = std::unique_ptr<LoginItem>(loginItem = new MemoryLoginItem) });
    delegate->applicationDidFinishLaunching();
    return *delegate;
}

void ShellFixture::tearDown()
{
    delegate.reset();
    support.reset();
    engine.reset();
    QVERIFY2(!Alert::hasPendingAnswers(), "an expected dialog never came");
}

QAction *itemTitled(const QMenu *menu, const QString &title)
{
    for (QAction *item : menu->actions()) {
        if (!item->isSeparator() && item->text().trimmed() == title)
            return item;
    }
    return nullptr;
}
