// SPDX-License-Identifier: MIT
#include "defaultsstore.h"
#include "jsonsettingsformat.h"
#include "manualclock.h"
#include "settingkeys.h"
#include "supportchannel.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTest>

using namespace std::chrono_literals;

namespace {
const QString historyKey = SettingKeys::messageHistory.key();
const QString shownKey = SettingKeys::shownMessages.key();
const QString ackKey = SettingKeys::ackMessage.key();

QVariantMap entry(qint64 id, const QString &body,
                  const QDateTime &date = QDateTime(QDate(2026, 2, 3), QTime(4, 5), Qt::UTC))
{
    return { { "id", id }, { "body", body }, { "date", date }, { "mine", false } };
}

QList<qint64> ids(const QList<ArchivedMessage> &history)
{
    QList<qint64> result;
    for (const ArchivedMessage &message : history)
        result << message.id;
    return result;
}
} // namespace

class TestMessageStore : public QObject
{
    Q_OBJECT

    const QDateTime start = QDateTime::fromMSecsSinceEpoch(1'700'000'000'900, Qt::UTC);
    std::unique_ptr<ManualClock> clock;
    std::unique_ptr<SupportChannel> channel;

    void deliver(qint64 id, const QString &body)
    {
        const QJsonObject answer { { "mid", id }, { "msg", body }, { "tk", "open" } };
        channel->applySyncResponse(QJsonDocument(answer).toJson());
        QCOMPARE(channel->pendingMessage().value_or(PendingMessage {}).id, id);
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        DefaultsStore::clear();
        clock = std::make_unique<ManualClock>(start);
        channel = std::make_unique<SupportChannel>(QUrl(), [] { return QUrl(); });
        channel->setClock(*clock);
    }

    // Replies are numbered by their whole second, negated, and never deduplicated.
    void repliesKeepTheNewestFiftyNewestFirst()
    {
        for (int n = 1; n <= 51; ++n) {
            channel->archiveOwn(QStringLiteral("reply %1").arg(n));
            clock->advance(n == 50 ? 99ms : 1s);
        }
        const QList<ArchivedMessage> history = channel->messageHistory();
        QCOMPARE(history.size(), 50);
        QCOMPARE(history.last().body, QStringLiteral("reply 2"));
        QVERIFY(history.last().date == start.addSecs(1) && history.last().mine);
        QCOMPARE(ids(history).mid(0, 3),
                 (QList<qint64> { -1'700'000'049, -1'700'000'049, -1'700'000'048 }));
    }

    void shownMessageIsRecordedAndArchivedOnce_data()
    {
        QTest::addColumn<QVariant>("shown");
        QTest::addColumn<QVariantList>("shownAfter");
        QTest::addColumn<bool>("archivedBefore");
        const auto numbers = [](qint64 n, qint64 last) {
            QVariantList list;
            while (n <= last)
                list << n++;
            return list;
        };
        QTest::newRow("the last fifty kept")
            << QVariant(numbers(101, 150)) << (numbers(102, 150) << qint64(12)) << false;
        // One string makes the whole list unusable: 12 counts as never shown, the list is new.
        QTest::newRow("mistyped list")
            << QVariant(QVariantList { qint64(12), QStringLiteral("13") })
            << QVariantList { qint64(12) } << false;
        // The server may offer it again once it has fallen out of the shown list.
        QTest::newRow("already archived") << QVariant(QVariantList { qint64(3) })
                                          << QVariantList { qint64(3), qint64(12) } << true;
    }
    void shownMessageIsRecordedAndArchivedOnce()
    {
        QFETCH(QVariant, shown);
        QFETCH(QVariantList, shownAfter);
        QFETCH(bool, archivedBefore);
        channel->markMessageShown(); // nothing pending: nothing written
        QCOMPARE(DefaultsStore::value(ackKey), QVariant());
        DefaultsStore::setValue(shownKey, shown);
        const QVariantList firstCopy { entry(12, QStringLiteral("the first copy")) };
        if (archivedBefore)
            DefaultsStore::setValue(historyKey, firstCopy);
        deliver(12, QStringLiteral("Hello from the maker"));
        clock->advance(3min);
        channel->markMessageShown();
        QVERIFY(!channel->pendingMessage());
        QCOMPARE(DefaultsStore::value(shownKey).toList(), shownAfter);
        QCOMPARE(DefaultsStore::integer(ackKey), std::optional<qint64>(12));
        QCOMPARE(DefaultsStore::value(historyKey).toList(),
                 archivedBefore ? firstCopy
                                : QVariantList { entry(12, QStringLiteral("Hello from the maker"),
                                                       start.addSecs(180)) });
    }

    // A history that is not a list reads as empty, untouched until the next archive replaces it;
    // entries without a usable id or body are skipped but kept, the rest default to the maker's,
    // dated now.
    void storedHistoryIsReadLeniently_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QList<qint64>>("read");
        const QVariantMap good = entry(5, QStringLiteral("kept?"));
        const QVariantMap textId { { "id", "1" }, { "body", "x" } },
            bare { { "id", 7 }, { "body", "b" } };
        QTest::newRow("one number among entries")
            << QVariant(QVariantList { good, qint64(6) }) << QList<qint64> { 5 };
        QTest::newRow("a single entry, not a list") << QVariant(good) << QList<qint64>();
        QTest::newRow("unusable entries")
            << QVariant(QVariantList { textId, bare, good }) << QList<qint64> { 5, 7 };
    }
    void storedHistoryIsReadLeniently()
    {
        QFETCH(QVariant, stored);
        QFETCH(QList<qint64>, read);
        DefaultsStore::setValue(historyKey, stored);
        const QList<ArchivedMessage> history = channel->messageHistory();
        QCOMPARE(ids(history), read);
        if (read.endsWith(7)) // the bare entry
            QVERIFY(history.last().date == start && !history.last().mine);
        QCOMPARE(DefaultsStore::value(historyKey), stored);
        deliver(9, QStringLiteral("fresh"));
        channel->markMessageShown();
        QCOMPARE(ids(channel->messageHistory()), QList<qint64> { 9 } + read);
        QCOMPARE(DefaultsStore::value(historyKey).toList().size(),
                 stored.typeId() == QMetaType::QVariantList ? stored.toList().size() + 1 : 1);
    }

    // Texts from the server or the user may be of any length; the history keeps the newest
    // entries, cut to a bounded text, within what the next launch reads back.
    void longTextsStayReadableAtTheNextLaunch_data()
    {
        QTest::addColumn<bool>("mine");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("text");
        QTest::newRow("five messages of a million characters")
            << false << 5 << QString(1'000'000, u'x');
        // Each control character takes six bytes in the file.
        QTest::newRow("fifty replies of escaped characters")
            << true << 50 << QString(30'000, QChar(1));
    }
    void longTextsStayReadableAtTheNextLaunch()
    {
        QFETCH(bool, mine);
        QFETCH(int, count);
        QFETCH(QString, text);
        DefaultsStore::setValue(SettingKeys::customMinutes.key(), 95);
        for (int n = 1; n <= count; ++n) {
            if (mine)
                channel->archiveOwn(text);
            else
                deliver(n, text);
            channel->markMessageShown();
            clock->advance(1s);
        }
        QVERIFY(QFileInfo(DefaultsStore::filePath()).size() <= JsonSettingsFormat::maximumFileSize);
        DefaultsStore::reload();
        QCOMPARE(DefaultsStore::integer(SettingKeys::customMinutes.key()), 95);
        const QList<ArchivedMessage> history = channel->messageHistory();
        QVERIFY(history.size() >= std::min(count, 8));
        QCOMPARE(history.first().id, mine ? -start.addSecs(count - 1).toSecsSinceEpoch() : count);
        QCOMPARE(history.first().body.size(), SupportChannel::storedTextLimit);
        QVERIFY(text.startsWith(history.first().body.chopped(1)));
    }
};

QTEST_GUILESS_MAIN(TestMessageStore)
#include "tst_messagestore.moc"
