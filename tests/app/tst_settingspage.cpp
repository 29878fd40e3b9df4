// SPDX-License-Identifier: MIT
#include "alert.h"
#include "awakesettings.h"
#include "defaultsstore.h"
#include "localisation.h"
#include "powercard.h"
#include "settingkeys.h"
#include "shellfixture.h"
#include "statusitemcontroller.h"

#include <QLineEdit>
#include <QTest>

namespace {
// Answers the custom-duration dialog with "hours:minutes" typed and the given button, noting
// what the fields held when it came up.
void answerCustomDuration(const QString &entry, int response, QString *shown = nullptr)
{
    Alert::setNextAnswer([=](Alert &alert) {
        auto *hours = alert.findChild<QLineEdit *>(QStringLiteral("hoursField"));
        auto *minutes = alert.findChild<QLineEdit *>(QStringLiteral("minutesField"));
        if (shown)
            *shown = hours->text() + u':' + minutes->text();
        hours->setText(entry.section(u':', 0, 0));
        minutes->setText(entry.section(u':', 1));
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

    ShellFixture shell;

    AppDelegate &launch(bool menuBarMode = false)
    {
        shell.launch(menuBarMode).showSettings();
        return *shell.delegate;
    }

private slots:
    void init() { shell.setUp(); }
    void cleanup() { shell.tearDown(); }

    // Choosing never starts an awake period; it only sets what the big button starts. The dialog
    // starts from the stored custom duration; cancelled, it stores nothing and reselects the
    // default.
    void durationMenu()
    {
        AwakeSettings::setCustomMinutes(60);
        AwakeSettings::setDefaultMinutes(60);
        QComboBox *menu = launch().settingsPage()->durationMenu();
        QCOMPARE(menu->currentIndex(), 2); // the preset equal to the custom duration
        choose(menu, 4);
        QString fields;
        answerCustomDuration(QStringLiteral("0:5"), Alert::SecondButton, &fields);
        choose(menu, 6); // after 5 presets, a separator
        QCOMPARE(fields, QStringLiteral("1:0"));
        QCOMPARE(menu->currentIndex(), 4);
        QCOMPARE(AwakeSettings::customMinutes(), 60);
        QCOMPARE(AwakeSettings::defaultMinutes(), 240);
        QVERIFY(!shell.engine->isActive());
    }

    void customDialogResults_data()
    {
        QTest::addColumn<QString>("entry"); // "hours:minutes" as typed
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("stored");
        const int ok = Alert::FirstButton;
        QTest::newRow("empty hours") << ":45" << ok << 45;
        QTest::newRow("minutes clamped, not carried") << "2:75" << ok << 179;
        QTest::newRow("hours clamped") << "250:0" << ok << 99 * 60;
        QTest::newRow("negative hours count as none") << "-3:20" << ok << 20;
        QTest::newRow("plus sign") << "+1:05" << ok << 65;
        QTest::newRow("spaces are not numbers") << " 2:10" << ok << 10;
        QTest::newRow("beyond 64 bits") << "99999999999999999999:7" << ok << 7;
        QTest::newRow("zero stores nothing") << "0:0" << ok << 0;
        QTest::newRow("Escape stores nothing") << "1:0" << int(Alert::Dismissed) << 0;
    }
    // An entry becomes the custom and the default duration, in the page and in the rebuilt tray
    // menu; otherwise nothing changes and the default is shown again.
    void customDialogResults()
    {
        QFETCH(QString, entry);
        QFETCH(int, answer);
        QFETCH(int, stored);
        AwakeSettings::setDefaultMinutes(30);
        AppDelegate &delegate = launch(true);
        QComboBox *menu = delegate.settingsPage()->durationMenu();
        answerCustomDuration(entry, answer);
        choose(menu, 6);
        QVERIFY(!shell.engine->isActive());
        QCOMPARE(AwakeSettings::customMinutes(), stored);
        QCOMPARE(AwakeSettings::defaultMinutes(), stored ? stored : 30);
        const QString title
            = stored ? AwakeSettings::formatMinutes(stored) : L("awake.duration_custom");
        QCOMPARE(menu->itemText(6), title);
        QCOMPARE(menu->currentIndex(), stored ? 6 : 1);
        QCOMPARE(itemTitled(delegate.statusController().menu(), title)->data().toInt(), stored);
    }

    void checkboxesActAtOnceAndAreStored_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("key"); // where the choice is stored; none: with the desktop
        QTest::addColumn<bool>("works");
        QTest::newRow("display") << L("awake.keep_display_checkbox")
                                 << SettingKeys::keepDisplay.key() << true;
        QTest::newRow("updates") << L("settings.auto_update")
                                 << SettingKeys::updaterAutoDownload.key() << true;
        QTest::newRow("menu bar") << L("settings.menu_bar_icon") << SettingKeys::menuBarMode.key()
                                  << true;
        QTest::newRow("login") << L("settings.launch_at_login") << QString() << true;
        QTest::newRow("login refused") << L("settings.launch_at_login") << QString() << false;
    }
    // Each box acts at once on a running period; automatic updates are shown on only when both
    // checking and downloading are; a refused login change shows what the desktop really has,
    // read again at each showing.
    void checkboxesActAtOnceAndAreStored()
    {
        QFETCH(QString, title);
        QFETCH(QString, key);
        QFETCH(bool, works);
        DefaultsStore::setValue(SettingKeys::updaterAutoCheck.key(), true);
        AppDelegate &delegate = launch();
        SettingsPage *page = delegate.settingsPage();
        shell.engine->start(30, false);
        if (!works)
            shell.loginItem->setFailure(QStringLiteral("read-only"));
        const auto boxes = page->findChildren<QCheckBox *>();
        QCheckBox *box = *std::find_if(boxes.begin(), boxes.end(),
                                       [&](const QCheckBox *box) { return box->text() == title; });
        const auto inForce = [&]() -> QList<bool> {
            if (box == page->autoUpdateCheckbox())
                return { delegate.updater().automaticallyChecksForUpdates(),
                         delegate.updater().automaticallyDownloadsUpdates() };
            if (box == page->menuBarCheckbox())
                return { delegate.statusController().isEnabled() };
            if (box == page->loginCheckbox())
                return { shell.loginItem->isEnabled() };
            return { shell.assertions->heldCount(PowerAssertions::Type::PreventUserIdleDisplaySleep)
                     == 1 };
        };
        for (bool on : { works, false }) {
            box->click();
            QCOMPARE(box->isChecked(), on);
            for (bool part : inForce())
                QCOMPARE(part, on);
            if (!key.isEmpty())
                QCOMPARE(DefaultsStore::boolean(key), on);
        }
        QVERIFY(shell.engine->isActive());
        if (box == page->loginCheckbox()) {
            shell.loginItem->setStatus(LoginItem::Status::Enabled);
            delegate.showMain();
            delegate.showSettings();
            QVERIFY(box->isChecked());
        }
    }

    // An unknown colour selects the default row; a choice redraws the running tray icon, and
    // a tag past the list changes nothing.
    void colourChangesRedrawTheTrayIcon()
    {
        DefaultsStore::setValue(SettingKeys::statusColor.key(), QStringLiteral("#123456"));
        AppDelegate &delegate = launch(true);
        QComboBox *colors = delegate.settingsPage()->colorMenu();
        QCOMPARE(colors->currentIndex(), 1);
        shell.engine->start(0, false);
        choose(colors, 3);
        QCOMPARE(delegate.statusController().appearance().tint->name(), QStringLiteral("#22c55e"));
        delegate.statusColorChanged(colors->count());
        QCOMPARE(AwakeSettings::statusColorHex(), QStringLiteral("#22C55E"));
        choose(colors, 0);
        QVERIFY(!delegate.statusController().appearance().tint);
    }

    void powerCardFitsTheFreeBand_data()
    {
        QTest::addColumn<QLocale::Language>("language");
        QTest::newRow("English") << QLocale::English;
        QTest::newRow("French") << QLocale::French;
    }
    // Between the separator and the mark, every text whole and no control over another, with the
    // line saying the rules are unavailable shown (no UPower here).
    void powerCardFitsTheFreeBand()
    {
        QFETCH(QLocale::Language, language);
        Localisation::install(QStringLiteral(":/i18n"), QStringLiteral("veluna"),
                              QLocale(language));
        PowerCard *card = launch().settingsPage()->powerCard();
        Localisation::install(QStringLiteral(":/i18n"), QStringLiteral("veluna"), QLocale());
        QVERIFY(card->geometry().top() > 401 && card->geometry().bottom() < 516);
        QVERIFY(card->unavailableLine()->isVisibleTo(card));
        QList<QWidget *> controls;
        for (QWidget *control : card->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (control->isVisibleTo(card) && control->size() != card->size())
                controls.append(control);
        }
        QCOMPARE(controls.size(), 6);
        for (const QWidget *control : controls) {
            const QString what = control->property("text").toString();
            QVERIFY2(card->rect().contains(control->geometry())
                         && control->width() >= control->sizeHint().width(),
                     qPrintable(what));
            for (const QWidget *other : controls)
                QVERIFY2(other == control || !other->geometry().intersects(control->geometry()),
                         qPrintable(what + u'/' + other->property("text").toString()));
        }
    }
};

QTEST_MAIN(TestSettingsPage)
#include "tst_settingspage.moc"
