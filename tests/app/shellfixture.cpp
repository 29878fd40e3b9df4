#include "shellfixture.h"

#include "alert.h"
#include "defaultsstore.h"
#include "localisation.h"
#include "updater.h"

#include <QTest>

void ShellFixture::setUp(const QUrl &syncUrl, const QUrl &reportUrl)
{
    DefaultsStore::clear();
    Alert::clearPendingAnswers();
    clock = std::make_unique<ManualClock>();
    auto memory = std::make_unique<MemoryPowerAssertions>();
    assertions = memory.get();
    engine = std::make_unique<AwakeEngine>(std::move(memory), *clock);
    support = std::make_unique<SupportChannel>(syncUrl, [reportUrl] { return reportUrl; });
}

void ShellFixture::storeOnboarded(bool menuBarMode)
{
    DefaultsStore::setValue(QStringLiteral("VLOnboarded"), true);
    DefaultsStore::setValue(QStringLiteral("VLMenuBarMode"), menuBarMode);
}

void ShellFixture::launch(bool trayAvailable)
{
    Updater::Config quiet;
    quiet.feedUrl = QUrl(QStringLiteral("http://127.0.0.1:9/appcast.xml"));
    quiet.clock = clock.get();
    auto memoryLoginItem = std::make_unique<MemoryLoginItem>();
    loginItem = memoryLoginItem.get();
    auto memoryBadge = std::make_unique<MemoryLauncherBadge>();
    badge = memoryBadge.get();
    delegate = std::make_unique<AppDelegate>(
        *engine, *support,
        AppDelegate::Options { .trayAvailable = trayAvailable,
                               .installCrashReporter = false,
                               .launcherBadge = std::move(memoryBadge),
                               .updater = std::make_unique<Updater>(quiet),
                               .loginItem = std::move(memoryLoginItem) });
    delegate->applicationDidFinishLaunching();
}

void ShellFixture::tearDown()
{
    delegate.reset();
    support.reset();
    engine.reset();
    QVERIFY2(!Alert::hasPendingAnswers(), "an expected dialog never came");
}

QString text(const char *key)
{
    return L(QString::fromLatin1(key));
}

QStringList titles(const QMenu *menu)
{
    QStringList result;
    for (const QAction *item : menu->actions())
        result << (item->isSeparator() ? QStringLiteral("---") : item->text().trimmed());
    return result;
}

QAction *itemTitled(const QMenu *menu, const QString &title)
{
    for (QAction *item : menu->actions()) {
        if (item->text().trimmed() == title)
            return item;
    }
    return nullptr;
}
