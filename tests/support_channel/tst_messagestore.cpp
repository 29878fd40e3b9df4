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

using namespace std::chrono_literals;

// The conversation kept in the defaults store: limits, the maker's ids never archived twice,
// reply numbering, and reads that survive whatever a hand-edited or foreign file holds.
class TestMessageStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init();

    void repliesKeepTheNewestFiftyNewestFirst();
    void replyIdsAreTheNegatedWholeSeconds_data();
    void replyIdsAreTheNegatedWholeSeconds();
    void shownMessageIsRecordedAndArchivedOnce_data();
    void shownMessageIsRecordedAndArchivedOnce();
    void markingWithNothingPendingWritesNothing();
    void mistypedHistoryReadsAsEmptyUntilReplaced_data();
    void mistypedHistoryReadsAsEmptyUntilReplaced();
    void entriesAreReadLenientlyAndKeptAsStored();
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
    const QJsonObject answer { { "mid", id }, { "msg", body }, { "tk", "open" } };
    channel->applySyncResponse(QJsonDocument(answer).toJson());
    return channel->pendingMessage() && channel->pendingMessage()->id == id;
}

void TestMessageStore::repliesKeepTheNewestFiftyNewestFirst()
{
    for (int n = 1; n <= 51; ++n) {
        channel->archiveOwn(QStringLiteral("reply %1").arg(n));
        clock->advance(1s);
    }
    const QList<ArchivedMessage> history = channel->messageHistory();
    QCOMPARE(history.size(), 50);
    QCOMPARE(history.first().body, QStringLiteral("reply 51"));
    QCOMPARE(history.last().body, QStringLiteral("reply 2"));
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

void TestMessageStore::shownMessageIsRecordedAndArchivedOnce_data()
{
    QTest::addColumn<QVariant>("shown");
    QTest::addColumn<QVariantList>("shownAfter");
    QTest::addColumn<bool>("archivedBefore");
    QTest::newRow("first shown") << QVariant() << QVariantList { qint64(12) } << false;
    QTest::newRow("the last fifty kept")
        << QVariant(numbers(101, 150)) << (numbers(102, 150) << qint64(12)) << false;
    // One string makes the whole list unusable: 12 counts as never shown, and the list is new.
    QTest::newRow("mistyped list") << QVariant(QVariantList { qint64(12), QStringLiteral("13") })
                                   << QVariantList { qint64(12) } << false;
    // The server may offer it again once it has fallen out of the shown list.
    QTest::newRow("already archived")
        << QVariant(QVariantList { qint64(3) }) << QVariantList { qint64(3), qint64(12) } << true;
}

void TestMessageStore::shownMessageIsRecordedAndArchivedOnce()
{
    QFETCH(QVariant, shown);
    QFETCH(QVariantList, shownAfter);
    QFETCH(bool, archivedBefore);
    if (shown.isValid())
        DefaultsStore::setValue(shownKey, shown);
    const QVariantList firstCopy { entry(12, QStringLiteral("the first copy")) };
    if (archivedBefore)
        DefaultsStore::setValue(historyKey, firstCopy);
    QVERIFY(deliver(12, QStringLiteral("Hello from the maker")));
    clock->advance(3min);
    channel->markMessageShown();

    QVERIFY(!channel->pendingMessage());
    QCOMPARE(DefaultsStore::value(shownKey).toList(), shownAfter);
    QCOMPARE(DefaultsStore::integer(ackKey), std::optional<qint64>(12));
    const QList<ArchivedMessage> history = channel->messageHistory();
    QCOMPARE(history.size(), 1);
    if (archivedBefore) {
        QCOMPARE(DefaultsStore::value(historyKey).toList(), firstCopy);
        return;
    }
    QCOMPARE(history.first().id, 12);
    QCOMPARE(history.first().body, QStringLiteral("Hello from the maker"));
    QCOMPARE(history.first().date, start.addSecs(180));
    QVERIFY(!history.first().mine);

    // Marking again, with nothing pending any more, changes nothing.
    const QVariant stored = DefaultsStore::value(historyKey);
    channel->markMessageShown();
    QCOMPARE(DefaultsStore::value(historyKey), stored);
    QCOMPARE(DefaultsStore::value(shownKey).toList(), shownAfter);
}

void TestMessageStore::markingWithNothingPendingWritesNothing()
{
    channel->markMessageShown();
    for (const QString &key : { historyKey, shownKey, ackKey })
        QVERIFY(!DefaultsStore::value(key).isValid());
}

void TestMessageStore::mistypedHistoryReadsAsEmptyUntilReplaced_data()
{
    QTest::addColumn<QVariant>("stored");
    const QVariantMap good = entry(5, QStringLiteral("kept?"));
    QTest::newRow("nothing stored") << QVariant();
    QTest::newRow("one number among entries") << QVariant(QVariantList { good, qint64(6), good });
    QTest::newRow("one list among entries") << QVariant(QVariantList { QVariantList { good } });
    QTest::newRow("a single entry, not a list") << QVariant(good);
    QTest::newRow("a string") << QVariant(QStringLiteral("history"));
}

void TestMessageStore::mistypedHistoryReadsAsEmptyUntilReplaced()
{
    QFETCH(QVariant, stored);
    if (stored.isValid())
        DefaultsStore::setValue(historyKey, stored);
    QVERIFY(channel->messageHistory().isEmpty());
    // Reading alone never rewrites the key; the next archive replaces it.
    QCOMPARE(DefaultsStore::value(historyKey), stored);
    QVERIFY(deliver(9, QStringLiteral("fresh")));
    channel->markMessageShown();
    QCOMPARE(DefaultsStore::value(historyKey).toList().size(), 1);
    QCOMPARE(bodies(channel->messageHistory()), QStringList { QStringLiteral("fresh") });
}

// An entry without a usable id or body is skipped, one without a usable date or "mine" is the
// maker's, dated now; all stay stored as they were.
void TestMessageStore::entriesAreReadLenientlyAndKeptAsStored()
{
    const auto with = [](qint64 id, const QString &key, const QVariant &value) {
        QVariantMap changed = entry(id, QStringLiteral("body %1").arg(id));
        changed.insert(key, value);
        return changed;
    };
    const QVariantMap bare { { QStringLiteral("id"), qint64(7) },
                             { QStringLiteral("body"), QStringLiteral("bare") } };
    QVariantMap mistyped = with(8, QStringLiteral("date"), QStringLiteral("2026-02-03T04:05Z"));
    mistyped.insert(QStringLiteral("mine"), qint64(1));
    const QVariantList stored { with(1, QStringLiteral("id"), QStringLiteral("1")),
                                with(2, QStringLiteral("id"), 2.5),
                                with(3, QStringLiteral("body"), qint64(3)), bare, mistyped };
    DefaultsStore::setValue(historyKey, stored);
    clock->advance(5h);

    const QList<ArchivedMessage> history = channel->messageHistory();
    QCOMPARE(ids(history), (QList<qint64> { 8, 7 }));
    QCOMPARE(history.last().body, QStringLiteral("bare"));
    for (const ArchivedMessage &message : history) {
        QCOMPARE(message.date, clock->now());
        QVERIFY(!message.mine);
    }
    channel->archiveOwn(QStringLiteral("mine"));
    QCOMPARE(DefaultsStore::value(historyKey).toList().mid(0, 5), stored);
    QCOMPARE(ids(channel->messageHistory()).mid(1), (QList<qint64> { 8, 7 }));
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
    QSettings reread(DefaultsStore::filePath(), JsonSettingsFormat::format());
    DefaultsStore::setValue(historyKey, reread.value(historyKey));
    const QList<ArchivedMessage> after = channel->messageHistory();
    QCOMPARE(ids(after), (QList<qint64> { -1'700'000'000, 12 }));
    QCOMPARE(bodies(after),
             (QStringList { QStringLiteral("thanks"), QStringLiteral("<b>not bold</b>") }));
    QCOMPARE(after.first().date, start);
    QVERIFY(after.first().mine);
    QVERIFY(!after.last().mine);
}

QTEST_GUILESS_MAIN(TestMessageStore)
#include "tst_messagestore.moc"
