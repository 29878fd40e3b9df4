#include "defaultsstore.h"
#include "jsonsettingsformat.h"
#include "manualclock.h"
#include "supportchannel.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

// The conversation kept in the defaults store: limits, the maker's ids never archived twice,
// reply numbering, and reads that survive whatever a hand-edited or foreign file holds.
class TestMessageStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init();

    void noStoredHistoryReadsAsEmpty();
    void repliesKeepTheNewestFiftyNewestFirst();
    void replyIdsAreTheNegatedWholeSeconds_data();
    void replyIdsAreTheNegatedWholeSeconds();
    void shownMessageMovesIntoTheHistory();
    void markingWithNothingPendingChangesNoKey();
    void markingAMessageAlreadyArchivedOnlyRecordsIt();
    void shownIdsKeepTheLastFifty();
    void mistypedHistoryReadsAsEmpty_data();
    void mistypedHistoryReadsAsEmpty();
    void nextArchiveReplacesAMistypedHistory();
    void mistypedShownListReadsAsEmpty();
    void entryWithoutDateOrMineIsTheMakersDatedNow();
    void unusableEntriesAreSkippedButStayStored();
    void historyIsStoredWithRealTypes();

private:
    bool deliver(qint64 id, const QString &body);

    const QDateTime start = QDateTime::fromMSecsSinceEpoch(1'700'000'000'900, Qt::UTC);
    std::unique_ptr<ManualClock> clock;
    std::unique_ptr<SupportChannel> channel;
};

namespace {
const QString historyKey = QStringLiteral("VLMessageHistory");
const QString shownKey = QStringLiteral("VLShownMessages");
const QString ackKey = QStringLiteral("VLAckMessage");

QVariantMap entry(qint64 id, const QString &body)
{
    return { { QStringLiteral("id"), id },
             { QStringLiteral("body"), body },
             { QStringLiteral("date"), QDateTime(QDate(2026, 2, 3), QTime(4, 5), Qt::UTC) },
             { QStringLiteral("mine"), false } };
}

QList<qint64> ids(const QList<ArchivedMessage> &history)
{
    QList<qint64> result;
    for (const ArchivedMessage &message : history)
        result << message.id;
    return result;
}

QStringList bodies(const QList<ArchivedMessage> &history)
{
    QStringList result;
    for (const ArchivedMessage &message : history)
        result << message.body;
    return result;
}

QVariantList numbers(qint64 from, qint64 to)
{
    QVariantList list;
    for (qint64 n = from; n <= to; ++n)
        list << n;
    return list;
}

QByteArray offer(qint64 id, const QString &body)
{
    const QJsonObject answer { { "mid", id }, { "msg", body }, { "tk", "open" } };
    return QJsonDocument(answer).toJson(QJsonDocument::Compact);
}
} // namespace

void TestMessageStore::init()
{
    DefaultsStore::clear();
    clock = std::make_unique<ManualClock>(start);
    channel = std::make_unique<SupportChannel>(QUrl(), [] { return QUrl(); });
    channel->setClock(*clock);
}

// Makes a message pending the way the server does; true when it is.
bool TestMessageStore::deliver(qint64 id, const QString &body)
{
    channel->applySyncResponse(offer(id, body));
    return channel->pendingMessage() && channel->pendingMessage()->id == id;
}

void TestMessageStore::noStoredHistoryReadsAsEmpty()
{
    QVERIFY(channel->messageHistory().isEmpty());
}

void TestMessageStore::repliesKeepTheNewestFiftyNewestFirst()
{
    for (int n = 1; n <= 51; ++n) {
        channel->archiveOwn(QStringLiteral("reply %1").arg(n));
        clock->advance(std::chrono::seconds(1));
    }
    const QList<ArchivedMessage> history = channel->messageHistory();
    QCOMPARE(history.size(), 50);
    QCOMPARE(history.first().body, QStringLiteral("reply 51"));
    QCOMPARE(history.last().body, QStringLiteral("reply 2"));
    QVERIFY(!bodies(history).contains(QStringLiteral("reply 1")));
    QVERIFY(history.first().mine);
    QCOMPARE(history.first().date, start.addSecs(50));
    QCOMPARE(DefaultsStore::value(historyKey).toList().size(), 50);
}

void TestMessageStore::replyIdsAreTheNegatedWholeSeconds_data()
{
    QTest::addColumn<qint64>("msecsSinceEpoch");
    QTest::addColumn<qint64>("expectedId");
    QTest::newRow("fraction dropped") << qint64(1'700'000'000'900) << qint64(-1'700'000'000);
    QTest::newRow("whole second") << qint64(1'700'000'001'000) << qint64(-1'700'000'001);
    QTest::newRow("just before the next") << qint64(1'700'000'001'999) << qint64(-1'700'000'001);
}

void TestMessageStore::replyIdsAreTheNegatedWholeSeconds()
{
    QFETCH(qint64, msecsSinceEpoch);
    QFETCH(qint64, expectedId);
    ManualClock at(QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch, Qt::UTC));
    channel->setClock(at);
    channel->archiveOwn(QStringLiteral("first"));
    channel->archiveOwn(QStringLiteral("same second"));
    // Replies are never deduplicated: two in one second share the id and both stay.
    QCOMPARE(ids(channel->messageHistory()), (QList<qint64> { expectedId, expectedId }));
}

void TestMessageStore::shownMessageMovesIntoTheHistory()
{
    QVERIFY(deliver(12, QStringLiteral("Hello from the maker")));
    QVERIFY(channel->messageHistory().isEmpty());
    clock->advance(std::chrono::minutes(3));
    channel->markMessageShown();

    QVERIFY(!channel->pendingMessage());
    QCOMPARE(DefaultsStore::value(shownKey).toList(), (QVariantList { qint64(12) }));
    QCOMPARE(DefaultsStore::integer(ackKey), std::optional<qint64>(12));
    const QList<ArchivedMessage> history = channel->messageHistory();
    QCOMPARE(history.size(), 1);
    QCOMPARE(history.first().id, 12);
    QCOMPARE(history.first().body, QStringLiteral("Hello from the maker"));
    QCOMPARE(history.first().date, start.addSecs(180));
    QVERIFY(!history.first().mine);
}

void TestMessageStore::markingWithNothingPendingChangesNoKey()
{
    channel->markMessageShown();
    QVERIFY(!DefaultsStore::value(historyKey).isValid());
    QVERIFY(!DefaultsStore::value(shownKey).isValid());
    QVERIFY(!DefaultsStore::value(ackKey).isValid());

    // Also after a message has been shown and recorded.
    QVERIFY(deliver(4, QStringLiteral("old")));
    channel->markMessageShown();
    const QVariant history = DefaultsStore::value(historyKey);
    const QVariant shown = DefaultsStore::value(shownKey);
    channel->markMessageShown();
    QCOMPARE(DefaultsStore::value(historyKey), history);
    QCOMPARE(DefaultsStore::value(shownKey), shown);
    QCOMPARE(DefaultsStore::integer(ackKey), std::optional<qint64>(4));
}

void TestMessageStore::markingAMessageAlreadyArchivedOnlyRecordsIt()
{
    const QVariantList history { entry(12, QStringLiteral("the first copy")) };
    DefaultsStore::setValue(historyKey, history);
    DefaultsStore::setValue(shownKey, QVariantList { qint64(3) });
    // The server may offer it again once it has fallen out of the shown list.
    QVERIFY(deliver(12, QStringLiteral("the second copy")));
    channel->markMessageShown();

    QCOMPARE(DefaultsStore::value(historyKey).toList(), history);
    QCOMPARE(DefaultsStore::value(shownKey).toList(), (QVariantList { qint64(3), qint64(12) }));
    QCOMPARE(DefaultsStore::integer(ackKey), std::optional<qint64>(12));
    QVERIFY(!channel->pendingMessage());
}

void TestMessageStore::shownIdsKeepTheLastFifty()
{
    DefaultsStore::setValue(shownKey, numbers(1, 50));
    QVERIFY(deliver(77, QStringLiteral("news")));
    channel->markMessageShown();
    QVariantList expected = numbers(2, 50);
    expected << qint64(77);
    QCOMPARE(DefaultsStore::value(shownKey).toList(), expected);
}

void TestMessageStore::mistypedHistoryReadsAsEmpty_data()
{
    QTest::addColumn<QVariant>("stored");
    const QVariantMap good = entry(5, QStringLiteral("kept?"));
    QTest::newRow("one number among entries") << QVariant(QVariantList { good, qint64(6), good });
    QTest::newRow("one string among entries")
        << QVariant(QVariantList { good, QStringLiteral("x") });
    QTest::newRow("one list among entries") << QVariant(QVariantList { QVariantList { good } });
    QTest::newRow("a single entry, not a list") << QVariant(good);
    QTest::newRow("a string") << QVariant(QStringLiteral("history"));
    QTest::newRow("a number") << QVariant(qint64(5));
}

void TestMessageStore::mistypedHistoryReadsAsEmpty()
{
    QFETCH(QVariant, stored);
    DefaultsStore::setValue(historyKey, stored);
    QVERIFY(channel->messageHistory().isEmpty());
    // Reading alone never rewrites the key.
    QCOMPARE(DefaultsStore::value(historyKey), stored);
}

void TestMessageStore::nextArchiveReplacesAMistypedHistory()
{
    DefaultsStore::setValue(historyKey, QVariantList { entry(5, QStringLiteral("lost")), true });
    QVERIFY(deliver(9, QStringLiteral("fresh")));
    channel->markMessageShown();
    const QVariantList stored = DefaultsStore::value(historyKey).toList();
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored.first().toMap().value(QStringLiteral("id")).toLongLong(), 9);
    QCOMPARE(bodies(channel->messageHistory()), QStringList { QStringLiteral("fresh") });
}

void TestMessageStore::mistypedShownListReadsAsEmpty()
{
    // One string makes the whole list unusable: message 12 counts as never shown...
    DefaultsStore::setValue(shownKey, QVariantList { qint64(12), QStringLiteral("13") });
    QVERIFY(deliver(12, QStringLiteral("offered again")));
    // ...and recording it replaces the list.
    channel->markMessageShown();
    QCOMPARE(DefaultsStore::value(shownKey).toList(), QVariantList { qint64(12) });
}

void TestMessageStore::entryWithoutDateOrMineIsTheMakersDatedNow()
{
    const QVariantMap bare { { QStringLiteral("id"), qint64(7) },
                             { QStringLiteral("body"), QStringLiteral("hi") } };
    QVariantMap mistyped = entry(8, QStringLiteral("typed wrong"));
    mistyped.insert(QStringLiteral("date"), QStringLiteral("2026-02-03T04:05:00Z"));
    mistyped.insert(QStringLiteral("mine"), qint64(1));
    DefaultsStore::setValue(historyKey, QVariantList { bare, mistyped });
    clock->advance(std::chrono::hours(5));

    const QList<ArchivedMessage> history = channel->messageHistory();
    QCOMPARE(ids(history), (QList<qint64> { 8, 7 }));
    for (const ArchivedMessage &message : history) {
        QCOMPARE(message.date, clock->now());
        QVERIFY(!message.mine);
    }
    QCOMPARE(history.last().body, QStringLiteral("hi"));
}

void TestMessageStore::unusableEntriesAreSkippedButStayStored()
{
    QVariantMap textId = entry(1, QStringLiteral("text id"));
    textId.insert(QStringLiteral("id"), QStringLiteral("1"));
    QVariantMap fractionalId = entry(2, QStringLiteral("fractional id"));
    fractionalId.insert(QStringLiteral("id"), 2.5);
    QVariantMap numberBody = entry(3, QString());
    numberBody.insert(QStringLiteral("body"), qint64(3));
    const QVariantMap good = entry(4, QStringLiteral("good"));
    const QVariantList stored { textId, fractionalId, numberBody, good };
    DefaultsStore::setValue(historyKey, stored);

    QCOMPARE(ids(channel->messageHistory()), QList<qint64> { 4 });
    channel->archiveOwn(QStringLiteral("mine"));
    QCOMPARE(DefaultsStore::value(historyKey).toList().mid(0, 4), stored);
    QCOMPARE(bodies(channel->messageHistory()),
             (QStringList { QStringLiteral("mine"), QStringLiteral("good") }));
}

void TestMessageStore::historyIsStoredWithRealTypes()
{
    QVERIFY(deliver(12, QStringLiteral("<b>not bold</b>")));
    channel->markMessageShown();
    channel->archiveOwn(QStringLiteral("thanks"));

    QFile file(DefaultsStore::filePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonArray json
        = QJsonDocument::fromJson(file.readAll()).object().value(historyKey).toArray();
    QCOMPARE(json.size(), 2);
    const QJsonObject reply = json.at(1).toObject();
    QCOMPARE(reply.keys(), (QStringList { "body", "date", "id", "mine" }));
    QCOMPARE(reply.value("id").toInteger(), -1'700'000'000);
    QCOMPARE(reply.value("mine"), QJsonValue(true));
    QCOMPARE(reply.value("date").toObject().value("$date").toString(),
             QStringLiteral("2023-11-14T22:13:20.900Z"));

    // What a later run reads back from the file gives the same history.
    const QList<ArchivedMessage> before = channel->messageHistory();
    QSettings reread(DefaultsStore::filePath(), JsonSettingsFormat::format());
    DefaultsStore::setValue(historyKey, reread.value(historyKey));
    const QList<ArchivedMessage> after = channel->messageHistory();
    QCOMPARE(ids(after), ids(before));
    QCOMPARE(bodies(after),
             (QStringList { QStringLiteral("thanks"), QStringLiteral("<b>not bold</b>") }));
    QCOMPARE(after.first().date, start);
    QVERIFY(after.first().mine);
    QVERIFY(!after.last().mine);
}

QTEST_GUILESS_MAIN(TestMessageStore)
#include "tst_messagestore.moc"
