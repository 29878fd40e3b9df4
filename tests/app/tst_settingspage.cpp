#include "alert.h"
#include "appdelegate.h"
#include "awakeengine.h"
#include "awakesettings.h"
#include "buildinfo.h"
#include "defaultsstore.h"
#include "localisation.h"
#include "manualclock.h"
#include "memorylauncherbadge.h"
#include "memoryloginitem.h"
#include "memorypowerassertions.h"
#include "statusitemcontroller.h"
#include "supportchannel.h"
#include "systemlog.h"
#include "updater.h"

#include <QLineEdit>
#include <QStandardPaths>
#include <QTest>

namespace {

// An updater that never reaches the network: its feed is a closed local port, its time manual.
std::unique_ptr<Updater> quietUpdater(ManualClock &clock)
{
    Updater::Config config;
    config.feedUrl = QUrl(QStringLiteral("http://127.0.0.1:9/appcast.xml"));
    config.clock = &clock;
    return std::make_unique<Updater>(config);
}
QString text(const char *key)
{
    return L(QString::fromLatin1(key));
}

// Answers the custom-duration dialog with the given field texts and button.
void answerCustomDuration(const QString &hours, const QString &minutes, int response,
                          QStringList *shown = nullptr)
{
    Alert::setNextAnswer([=](Alert &alert) {
        auto *hoursField = alert.findChild<QLineEdit *>(QStringLiteral("hoursField"));
        auto *minutesField = alert.findChild<QLineEdit *>(QStringLiteral("minutesField"));
        if (!hoursField || !minutesField)
            return -1;
        if (shown)
            *shown = QStringList { hoursField->text(), minutesField->text() };
        hoursField->setText(hours);
        minutesField->setText(minutes);
        return response;
    });
}
} // namespace

class TestSettingsPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init();
    void cleanup();

    void durationMenuReflectsStoredSettings_data();
    void durationMenuReflectsStoredSettings();
    void choosingAListedDurationStoresItWithoutStarting();
    void customEntryAlwaysOpensTheDialog();
    void customDialogFieldsStartFromTheStoredDuration();
    void customDialogResults_data();
    void customDialogResults();
    void cancelledDialogReselectsTheDefault();
    void successfulEntryUpdatesTheMenus();
    void keepDisplayActsOnARunningPeriod();
    void colourMenuAndChanges();
    void checkboxesStartFromStoredState();
    void aboutBlockShowsTheVersion();
    void frenchTextsFitTheirCards();
    void autoUpdateCheckboxNeedsBothFlags();
    void failedLoginChangeShowsTheRealStatus();

private:
    void launch(bool menuBarMode = false);

    std::unique_ptr<ManualClock> clock;
    MemoryPowerAssertions *assertions = nullptr;
    std::unique_ptr<AwakeEngine> engine;
    std::unique_ptr<SupportChannel> support;
    std::unique_ptr<AppDelegate> delegate;
    MemoryLoginItem *loginItem = nullptr;
    std::unique_ptr<LoginItem> makeLoginItem()
    {
        auto item = std::make_unique<MemoryLoginItem>();
        loginItem = item.get();
        return item;
    }
};

void TestSettingsPage::init()
{
    DefaultsStore::clear();
    DefaultsStore::setValue(QStringLiteral("VLOnboarded"), true);
    Alert::clearPendingAnswers();
    clock = std::make_unique<ManualClock>();
    auto memory = std::make_unique<MemoryPowerAssertions>();
    assertions = memory.get();
    engine = std::make_unique<AwakeEngine>(std::move(memory), *clock);
    // No server: every exchange fails quietly, as with no network.
    support = std::make_unique<SupportChannel>(QUrl(), [] { return QUrl(); });
}

void TestSettingsPage::cleanup()
{
    delegate.reset();
    support.reset();
    engine.reset();
    QVERIFY2(!Alert::hasPendingAnswers(), "an expected dialog never came");
}

void TestSettingsPage::launch(bool menuBarMode)
{
    DefaultsStore::setValue(QStringLiteral("VLMenuBarMode"), menuBarMode);
    delegate = std::make_unique<AppDelegate>(
        *engine, *support,
        AppDelegate::Options { .trayAvailable = true,
                               .installCrashReporter = false,
                               .launcherBadge = std::make_unique<MemoryLauncherBadge>(),
                               .updater = quietUpdater(*clock),
                               .loginItem = makeLoginItem() });
    delegate->applicationDidFinishLaunching();
    delegate->showSettings();
}

void TestSettingsPage::durationMenuReflectsStoredSettings_data()
{
    QTest::addColumn<int>("defaultMinutes");
    QTest::addColumn<int>("customMinutes");
    QTest::addColumn<QString>("customTitle");
    QTest::addColumn<int>("customTag");
    QTest::addColumn<int>("selectedIndex");
    const QString noCustom = text("awake.duration_custom");
    QTest::newRow("fresh") << 0 << 0 << noCustom << -1 << 0;
    QTest::newRow("two hours") << 120 << 0 << noCustom << -1 << 3;
    QTest::newRow("custom 95, default 95")
        << 95 << 95 << AwakeSettings::formatMinutes(95) << 95 << 6;
    QTest::newRow("custom 95, default 30")
        << 30 << 95 << AwakeSettings::formatMinutes(95) << 95 << 1;
    QTest::newRow("custom equal to a preset")
        << 60 << 60 << AwakeSettings::formatMinutes(60) << 60 << 2;
}

void TestSettingsPage::durationMenuReflectsStoredSettings()
{
    QFETCH(int, defaultMinutes);
    QFETCH(int, customMinutes);
    QFETCH(QString, customTitle);
    QFETCH(int, customTag);
    QFETCH(int, selectedIndex);
    AwakeSettings::setCustomMinutes(customMinutes);
    AwakeSettings::setDefaultMinutes(defaultMinutes);
    launch();
    QComboBox *menu = delegate->durationMenu();
    QCOMPARE(menu->count(), 7); // five presets, a separator, the custom entry
    QCOMPARE(menu->itemText(6), customTitle);
    QCOMPARE(menu->itemData(6).toInt(), customTag);
    QCOMPARE(menu->currentIndex(), selectedIndex);
}

void TestSettingsPage::choosingAListedDurationStoresItWithoutStarting()
{
    launch();
    QComboBox *menu = delegate->durationMenu();
    menu->setCurrentIndex(4);
    emit menu->activated(4);
    QCOMPARE(AwakeSettings::defaultMinutes(), 240);
    QVERIFY(!engine->isActive());
}

void TestSettingsPage::customEntryAlwaysOpensTheDialog()
{
    AwakeSettings::setCustomMinutes(95);
    launch();
    answerCustomDuration(QStringLiteral("0"), QStringLiteral("50"), Alert::FirstButton);
    QComboBox *menu = delegate->durationMenu();
    menu->setCurrentIndex(6);
    emit menu->activated(6);
    QVERIFY(!Alert::hasPendingAnswers());
    QCOMPARE(AwakeSettings::customMinutes(), 50);
    QVERIFY(!engine->isActive());
}

void TestSettingsPage::customDialogFieldsStartFromTheStoredDuration()
{
    launch();
    QStringList shown;
    answerCustomDuration(QString(), QString(), Alert::SecondButton, &shown);
    delegate->askCustomDuration();
    QCOMPARE(shown, QStringList({ "0", "0" }));
    AwakeSettings::setCustomMinutes(95);
    answerCustomDuration(QString(), QString(), Alert::SecondButton, &shown);
    delegate->askCustomDuration();
    QCOMPARE(shown, QStringList({ "1", "35" }));
}

void TestSettingsPage::customDialogResults_data()
{
    QTest::addColumn<QString>("hours");
    QTest::addColumn<QString>("minutes");
    QTest::addColumn<int>("stored");
    QTest::newRow("empty hours, 45 minutes") << QString() << "45" << 45;
    QTest::newRow("minutes clamped, not carried") << "2"
                                                  << "75" << 179;
    QTest::newRow("negative hours count as none") << "-3"
                                                  << "20" << 20;
    QTest::newRow("plus sign") << "+1"
                               << "05" << 65;
    QTest::newRow("largest") << "99"
                             << "59" << 5999;
    QTest::newRow("hours clamped") << "250"
                                   << "0" << 99 * 60;
    QTest::newRow("spaces are not numbers") << " 2"
                                            << "10" << 10;
    QTest::newRow("beyond 64 bits") << "99999999999999999999"
                                    << "7" << 7;
    QTest::newRow("both zero") << "0"
                               << "0" << 0;
    QTest::newRow("both empty") << QString() << QString() << 0;
}

void TestSettingsPage::customDialogResults()
{
    QFETCH(QString, hours);
    QFETCH(QString, minutes);
    QFETCH(int, stored);
    AwakeSettings::setDefaultMinutes(30);
    launch();
    answerCustomDuration(hours, minutes, Alert::FirstButton);
    delegate->askCustomDuration();
    QCOMPARE(AwakeSettings::customMinutes(), stored);
    QCOMPARE(AwakeSettings::defaultMinutes(), stored > 0 ? stored : 30);
    if (stored == 0)
        QCOMPARE(delegate->durationMenu()->currentIndex(), 1);
    QVERIFY(!engine->isActive());
}

void TestSettingsPage::cancelledDialogReselectsTheDefault()
{
    AwakeSettings::setDefaultMinutes(60);
    launch();
    QComboBox *menu = delegate->durationMenu();
    answerCustomDuration(QStringLiteral("3"), QStringLiteral("0"), Alert::SecondButton);
    menu->setCurrentIndex(6);
    emit menu->activated(6);
    QCOMPARE(menu->currentIndex(), 2);
    QCOMPARE(AwakeSettings::customMinutes(), 0);
    answerCustomDuration(QStringLiteral("3"), QStringLiteral("0"), Alert::Dismissed);
    menu->setCurrentIndex(6);
    emit menu->activated(6);
    QCOMPARE(menu->currentIndex(), 2);
    QCOMPARE(AwakeSettings::defaultMinutes(), 60);
}

void TestSettingsPage::successfulEntryUpdatesTheMenus()
{
    launch(true);
    QVERIFY(delegate->statusController().isEnabled());
    QPointer<QMenu> before = delegate->statusController().menu();
    answerCustomDuration(QStringLiteral("1"), QStringLiteral("30"), Alert::FirstButton);
    delegate->askCustomDuration();
    QComboBox *menu = delegate->durationMenu();
    QCOMPARE(menu->itemText(6), AwakeSettings::formatMinutes(90));
    QCOMPARE(menu->itemData(6).toInt(), 90);
    QCOMPARE(menu->currentIndex(), 6);
    QVERIFY(delegate->statusController().menu() != before);
    bool listed = false;
    for (const QAction *item : delegate->statusController().menu()->actions())
        listed |= item->text().trimmed() == AwakeSettings::formatMinutes(90) && item->data() == 90;
    QVERIFY(listed);
}

void TestSettingsPage::keepDisplayActsOnARunningPeriod()
{
    launch();
    engine->start(30, false);
    auto boxes = delegate->settingsView()->findChildren<QCheckBox *>();
    QCheckBox *keepDisplay = boxes.first();
    QCOMPARE(keepDisplay->text(), text("awake.keep_display_checkbox"));
    keepDisplay->click();
    QVERIFY(AwakeSettings::keepDisplayAwake());
    QCOMPARE(assertions->heldCount(PowerAssertions::Type::PreventUserIdleDisplaySleep), 1);
    keepDisplay->click();
    QVERIFY(!AwakeSettings::keepDisplayAwake());
    QCOMPARE(assertions->heldCount(PowerAssertions::Type::PreventUserIdleDisplaySleep), 0);
    QVERIFY(engine->isActive());
}

void TestSettingsPage::colourMenuAndChanges()
{
    DefaultsStore::setValue(QStringLiteral("VLStatusColor"), QStringLiteral("#123456"));
    launch(true);
    QComboBox *colors = delegate->colorMenu();
    QCOMPARE(colors->count(), AwakeSettings::statusColors().size());
    QCOMPARE(colors->currentIndex(), 1);
    QVERIFY(colors->itemIcon(0).isNull());
    QVERIFY(!colors->itemIcon(3).isNull());
    QCOMPARE(AwakeSettings::statusColorHex(), QStringLiteral("#123456"));

    engine->start(0, false);
    delegate->statusColorChanged(3);
    QCOMPARE(AwakeSettings::statusColorHex(), QStringLiteral("#22C55E"));
    QCOMPARE(delegate->statusController().appearance().tint->name(), QStringLiteral("#22c55e"));
    delegate->statusColorChanged(6);
    delegate->statusColorChanged(-1);
    QCOMPARE(AwakeSettings::statusColorHex(), QStringLiteral("#22C55E"));
    delegate->statusColorChanged(0);
    QVERIFY(!delegate->statusController().appearance().tint);
}

void TestSettingsPage::checkboxesStartFromStoredState()
{
    AwakeSettings::setKeepDisplayAwake(true);
    launch(true);
    QVERIFY(delegate->settingsView()->findChildren<QCheckBox *>().first()->isChecked());
    QVERIFY(delegate->menuBarCheckbox()->isChecked());
    delegate->menuBarCheckbox()->click();
    QCOMPARE(DefaultsStore::boolean(QStringLiteral("VLMenuBarMode")), false);
    QVERIFY(!delegate->statusController().isEnabled());
}

void TestSettingsPage::aboutBlockShowsTheVersion()
{
    launch();
    const QString expected
        = L(QStringLiteral("about.version_label"), QString::fromLatin1(BuildInfo::version));
    bool found = false;
    for (const QLabel *label : delegate->settingsView()->findChildren<QLabel *>())
        found |= label->text() == expected && qAbs(label->geometry().center().x() - 215) <= 1;
    QVERIFY(found);
}

void TestSettingsPage::frenchTextsFitTheirCards()
{
    Localisation::install(QStringLiteral(":/i18n"), QStringLiteral("veluna"),
                          QLocale(QLocale::French));
    launch();
    QWidget *page = delegate->settingsView();
    for (const QCheckBox *box : page->findChildren<QCheckBox *>()) {
        QVERIFY2(box->geometry().right() <= 406, qPrintable(box->text()));
        QVERIFY2(box->sizeHint().width() <= box->width(), qPrintable(box->text()));
    }
    for (const QPushButton *button : page->findChildren<QPushButton *>())
        QVERIFY2(button->geometry().right() <= 430 - 24, qPrintable(button->text()));
    Localisation::install(QStringLiteral(":/i18n"), QStringLiteral("veluna"),
                          QLocale(QLocale::English));
}

void TestSettingsPage::autoUpdateCheckboxNeedsBothFlags()
{
    DefaultsStore::setValue(QStringLiteral("VLUpdaterAutoCheck"), true);
    DefaultsStore::setValue(QStringLiteral("VLUpdaterAutoDownload"), false);
    launch();
    QCheckBox *box = delegate->autoUpdateCheckbox();
    QVERIFY(!box->isChecked());
    box->click();
    QVERIFY(delegate->updater().automaticallyChecksForUpdates());
    QVERIFY(delegate->updater().automaticallyDownloadsUpdates());
    box->click();
    QVERIFY(!delegate->updater().automaticallyChecksForUpdates());
    QVERIFY(!delegate->updater().automaticallyDownloadsUpdates());
}

void TestSettingsPage::failedLoginChangeShowsTheRealStatus()
{
    launch();
    QStringList logged;
    SystemLog::setObserver([&](const QString &line) { logged << line; });
    loginItem->setFailure(QStringLiteral("the autostart folder is read-only"));
    delegate->loginCheckbox()->click();
    SystemLog::setObserver({});
    QVERIFY(!delegate->loginCheckbox()->isChecked());
    QCOMPARE(logged,
             QStringList { QStringLiteral(
                 "Veluna: ouverture à la connexion: the autostart folder is read-only") });

    loginItem->setFailure(QString());
    delegate->loginCheckbox()->click();
    QVERIFY(delegate->loginCheckbox()->isChecked());
    QVERIFY(loginItem->isEnabled());
    // The status is read again each time the page is shown.
    loginItem->setStatus(LoginItem::Status::NotRegistered);
    delegate->showMain();
    delegate->showSettings();
    QVERIFY(!delegate->loginCheckbox()->isChecked());
}

QTEST_MAIN(TestSettingsPage)
#include "tst_settingspage.moc"
