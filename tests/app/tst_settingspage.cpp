#include "alert.h"
#include "awakesettings.h"
#include "buildinfo.h"
#include "defaultsstore.h"
#include "localisation.h"
#include "shellfixture.h"
#include "statusitemcontroller.h"
#include "systemlog.h"

#include <QLineEdit>
#include <QStandardPaths>
#include <QTest>

namespace {
// Answers the custom-duration dialog with the given field texts and button, noting what the
// fields held when it came up.
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

void choose(QComboBox *menu, int index)
{
    menu->setCurrentIndex(index);
    emit menu->activated(index);
}
} // namespace

class TestSettingsPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() { shell.setUp(); }
    void cleanup() { shell.tearDown(); }

    void durationMenuReflectsStoredSettings_data();
    void durationMenuReflectsStoredSettings();
    void choosingInTheDurationMenu_data();
    void choosingInTheDurationMenu();
    void customDialogResults_data();
    void customDialogResults();
    void keepDisplayActsOnARunningPeriod();
    void colourChangesRedrawTheTrayIcon();
    void menuBarCheckboxStartsFromTheModeAndSwitchesIt();
    void aboutBlockShowsTheVersion();
    void frenchTextsFitTheirCards();
    void autoUpdateCheckboxNeedsBothFlags();
    void failedLoginChangeShowsTheRealStatus();

private:
    // Launches, the settings page shown as the user opens it.
    AppDelegate &launch(bool menuBarMode = false);

    ShellFixture shell;
};

AppDelegate &TestSettingsPage::launch(bool menuBarMode)
{
    ShellFixture::storeOnboarded(menuBarMode);
    shell.launch();
    shell.delegate->showSettings();
    return *shell.delegate;
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
    QComboBox *menu = launch().durationMenu();
    QCOMPARE(menu->count(), 7); // five presets, a separator, the custom entry
    QCOMPARE(menu->itemText(6), customTitle);
    QCOMPARE(menu->itemData(6).toInt(), customTag);
    QCOMPARE(menu->currentIndex(), selectedIndex);
}

void TestSettingsPage::choosingInTheDurationMenu_data()
{
    QTest::addColumn<int>("customMinutes");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("answer"); // -2: no dialog expected
    QTest::addColumn<QStringList>("fieldsShown");
    QTest::addColumn<int>("storedDefault");
    QTest::addColumn<int>("storedCustom");
    QTest::addColumn<int>("selected");
    QTest::newRow("a listed entry is stored") << 0 << 4 << -2 << QStringList() << 240 << 0 << 4;
    QTest::newRow("a stored custom entry still asks")
        << 95 << 6 << int(Alert::FirstButton) << QStringList { "1", "35" } << 50 << 50 << 6;
    QTest::newRow("cancel reselects the default")
        << 0 << 6 << int(Alert::SecondButton) << QStringList { "0", "0" } << 60 << 0 << 2;
    QTest::newRow("dismissing reselects the default")
        << 0 << 6 << int(Alert::Dismissed) << QStringList { "0", "0" } << 60 << 0 << 2;
}

// Choosing never starts an awake period; it only sets what the big button starts.
void TestSettingsPage::choosingInTheDurationMenu()
{
    QFETCH(int, customMinutes);
    QFETCH(int, index);
    QFETCH(int, answer);
    QFETCH(QStringList, fieldsShown);
    QFETCH(int, storedDefault);
    QFETCH(int, storedCustom);
    QFETCH(int, selected);
    AwakeSettings::setCustomMinutes(customMinutes);
    AwakeSettings::setDefaultMinutes(60);
    QComboBox *menu = launch().durationMenu();
    QStringList shown;
    if (answer != -2)
        answerCustomDuration(QStringLiteral("0"), QStringLiteral("50"), answer, &shown);
    choose(menu, index);
    QVERIFY(!Alert::hasPendingAnswers());
    QCOMPARE(shown, fieldsShown);
    QCOMPARE(AwakeSettings::defaultMinutes(), storedDefault);
    QCOMPARE(AwakeSettings::customMinutes(), storedCustom);
    QCOMPARE(menu->currentIndex(), selected);
    QVERIFY(!shell.engine->isActive());
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

// A successful entry becomes the custom and the default duration, in the settings page and in
// the rebuilt tray menu; an empty one changes nothing and shows the default again.
void TestSettingsPage::customDialogResults()
{
    QFETCH(QString, hours);
    QFETCH(QString, minutes);
    QFETCH(int, stored);
    AwakeSettings::setDefaultMinutes(30);
    AppDelegate &delegate = launch(true);
    const QPointer<QMenu> trayMenu = delegate.statusController().menu();
    answerCustomDuration(hours, minutes, Alert::FirstButton);
    delegate.askCustomDuration();
    QVERIFY(!shell.engine->isActive());
    QCOMPARE(AwakeSettings::customMinutes(), stored);
    QComboBox *menu = delegate.durationMenu();
    if (stored == 0) {
        QCOMPARE(AwakeSettings::defaultMinutes(), 30);
        QCOMPARE(menu->currentIndex(), 1);
        return;
    }
    QCOMPARE(AwakeSettings::defaultMinutes(), stored);
    const QString title = AwakeSettings::formatMinutes(stored);
    QCOMPARE(menu->itemText(6), title);
    QCOMPARE(menu->itemData(6).toInt(), stored);
    QCOMPARE(menu->currentIndex(), 6);
    QVERIFY(delegate.statusController().menu() != trayMenu);
    const QAction *custom = itemTitled(delegate.statusController().menu(), title);
    QVERIFY(custom);
    QCOMPARE(custom->data().toInt(), stored);
}

void TestSettingsPage::keepDisplayActsOnARunningPeriod()
{
    launch();
    shell.engine->start(30, false);
    QCheckBox *keepDisplay = shell.delegate->settingsView()->findChildren<QCheckBox *>().first();
    QCOMPARE(keepDisplay->text(), text("awake.keep_display_checkbox"));
    const auto displayHeld = [this] {
        return shell.assertions->heldCount(PowerAssertions::Type::PreventUserIdleDisplaySleep);
    };
    keepDisplay->click();
    QVERIFY(AwakeSettings::keepDisplayAwake());
    QCOMPARE(displayHeld(), 1);
    keepDisplay->click();
    QVERIFY(!AwakeSettings::keepDisplayAwake());
    QCOMPARE(displayHeld(), 0);
    QVERIFY(shell.engine->isActive());
}

void TestSettingsPage::colourChangesRedrawTheTrayIcon()
{
    DefaultsStore::setValue(QStringLiteral("VLStatusColor"), QStringLiteral("#123456"));
    AppDelegate &delegate = launch(true);
    QComboBox *colors = delegate.colorMenu();
    QCOMPARE(colors->count(), AwakeSettings::statusColors().size());
    QCOMPARE(colors->currentIndex(), 1); // an unknown colour selects the default row
    QVERIFY(colors->itemIcon(0).isNull()); // the system row has no swatch
    QVERIFY(!colors->itemIcon(3).isNull());
    QCOMPARE(AwakeSettings::statusColorHex(), QStringLiteral("#123456"));

    shell.engine->start(0, false);
    delegate.statusColorChanged(3);
    QCOMPARE(AwakeSettings::statusColorHex(), QStringLiteral("#22C55E"));
    QCOMPARE(delegate.statusController().appearance().tint->name(), QStringLiteral("#22c55e"));
    delegate.statusColorChanged(6);
    delegate.statusColorChanged(-1);
    QCOMPARE(AwakeSettings::statusColorHex(), QStringLiteral("#22C55E"));
    delegate.statusColorChanged(0);
    QVERIFY(!delegate.statusController().appearance().tint);
}

void TestSettingsPage::menuBarCheckboxStartsFromTheModeAndSwitchesIt()
{
    AppDelegate &delegate = launch(true);
    QVERIFY(delegate.menuBarCheckbox()->isChecked());
    delegate.menuBarCheckbox()->click();
    QCOMPARE(DefaultsStore::boolean(QStringLiteral("VLMenuBarMode")), false);
    QVERIFY(!delegate.statusController().isEnabled());
    QTRY_VERIFY(delegate.mainWindow()->isVisible());
}

void TestSettingsPage::aboutBlockShowsTheVersion()
{
    const QString expected
        = L(QStringLiteral("about.version_label"), QString::fromLatin1(BuildInfo::version));
    bool found = false;
    for (const QLabel *label : launch().settingsView()->findChildren<QLabel *>())
        found |= label->text() == expected && qAbs(label->geometry().center().x() - 215) <= 1;
    QVERIFY(found);
}

void TestSettingsPage::frenchTextsFitTheirCards()
{
    Localisation::install(QStringLiteral(":/i18n"), QStringLiteral("veluna"),
                          QLocale(QLocale::French));
    QWidget *page = launch().settingsView();
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
    AppDelegate &delegate = launch();
    QCheckBox *box = delegate.autoUpdateCheckbox();
    QVERIFY(!box->isChecked());
    box->click();
    QVERIFY(delegate.updater().automaticallyChecksForUpdates());
    QVERIFY(delegate.updater().automaticallyDownloadsUpdates());
    box->click();
    QVERIFY(!delegate.updater().automaticallyChecksForUpdates());
    QVERIFY(!delegate.updater().automaticallyDownloadsUpdates());
}

void TestSettingsPage::failedLoginChangeShowsTheRealStatus()
{
    AppDelegate &delegate = launch();
    QStringList logged;
    SystemLog::setObserver([&](const QString &line) { logged << line; });
    shell.loginItem->setFailure(QStringLiteral("the autostart folder is read-only"));
    delegate.loginCheckbox()->click();
    SystemLog::setObserver({});
    QVERIFY(!delegate.loginCheckbox()->isChecked());
    QCOMPARE(logged,
             QStringList { QStringLiteral(
                 "Veluna: ouverture à la connexion: the autostart folder is read-only") });

    shell.loginItem->setFailure(QString());
    delegate.loginCheckbox()->click();
    QVERIFY(delegate.loginCheckbox()->isChecked());
    QVERIFY(shell.loginItem->isEnabled());
    // The status is read again each time the page is shown.
    shell.loginItem->setStatus(LoginItem::Status::NotRegistered);
    delegate.showMain();
    delegate.showSettings();
    QVERIFY(!delegate.loginCheckbox()->isChecked());
}

QTEST_MAIN(TestSettingsPage)
#include "tst_settingspage.moc"
