// SPDX-License-Identifier: MIT
#include "defaultsstore.h"
#include "localhttpserver.h"
#include "manualclock.h"
#include "networkaccess.h"
#include "settingkeys.h"
#include "supportchannel.h"
#include "testfiles.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QStandardPaths>
#include <QTest>

#include <memory>

using namespace std::chrono_literals;
using Response = LocalHttpServer::Response;

namespace {
const QByteArray syncPath = "/api/sync";
const QByteArray reportPath = "/api/report";
const QByteArray confirmed = R"({"ok": true})";
// Kept byte for byte: never escaped, trimmed or rendered.
const QString newerText = QStringLiteral("<img src=x onerror=alert(1)> &amp;\n  é ✓ ");
constexpr auto shortTimeout = 400ms;
constexpr qint64 mebibyte = 1024 * 1024;

QByteArray offer(qint64 id, const QString &text, const QString &ticket = QStringLiteral("open"))
{
    return QJsonDocument(QJsonObject { { "mid", id }, { "msg", text }, { "tk", ticket } }).toJson();
}

// A valid answer padded with white space: applied whenever it is read at all.
QByteArray paddedTo(const QByteArray &answer, qint64 size)
{
    return answer + QByteArray(size - answer.size(), ' ');
}

// The most memory this process has held since the last reset (by "5" in clear_refs), in
// kibibytes.
qint64 peakMemoryKib()
{
    const QByteArray status = TestFiles::read(QStringLiteral("/proc/self/status"));
    return status.mid(status.indexOf("VmHWM:") + 6).split('k').first().trimmed().toLongLong();
}

const QString historyKey = SettingKeys::messageHistory.key();

QList<qint64> ids(const QList<ArchivedMessage> &history)
{
    QList<qint64> result;
    std::ranges::transform(history, std::back_inserter(result), &ArchivedMessage::id);
    return result;
}
} // namespace

// The message store, and the hourly exchange and the problem report against a local stand-in
// for the maker's server.
class TestServerExchange : public QObject
{
    Q_OBJECT

    std::unique_ptr<LocalHttpServer> server;
    std::unique_ptr<SupportChannel> channel;
    const QDateTime start = QDateTime::fromMSecsSinceEpoch(1'700'000'000'900, Qt::UTC);
    std::unique_ptr<ManualClock> clock;

    int calls = 0;

    // Waits for the exchange's callback, well within the default timeouts, then lets what is
    // queued run so that a second call would count too.
    void finish()
    {
        QTRY_VERIFY_WITH_TIMEOUT(calls > 0, 5000);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(calls, 1);
        calls = 0;
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        DefaultsStore::clear();
        calls = 0;
        server = std::make_unique<LocalHttpServer>();
        server->setResponse(syncPath, Response::ok("{}"));
        server->setResponse(reportPath, Response::ok(confirmed));
        channel = std::make_unique<SupportChannel>(server->url(syncPath),
                                                   [url = server->url(reportPath)] { return url; });
        channel->setTimeouts(shortTimeout, shortTimeout);
        clock = std::make_unique<ManualClock>(start);
        channel->setClock(*clock);
    }

    // The sync acknowledges only a stored positive id, as a whole number. The identity it goes
    // with is meet_server's: its syncs are accepted, and the reply reaches the device.
    void syncAcknowledgesOnlyAStoredPositiveId()
    {
        const qint64 largeId = 4'000'000'000;
        int syncs = 0;
        for (const QVariant &stored : { QVariant(qint64(0)), QVariant("7"), QVariant(largeId) }) {
            DefaultsStore::setValue(SettingKeys::ackMessage.key(), stored);
            channel->checkWithServer([this] { ++calls; });
            finish();
            QCOMPARE(server->requestCount(syncPath), ++syncs);
            const QJsonObject sent
                = QJsonDocument::fromJson(server->requests().last().body).object();
            QVERIFY(sent.contains("d"));
            QCOMPARE(sent.value("m"),
                     stored == QVariant(largeId) ? QJsonValue(largeId) : QJsonValue::Undefined);
        }
    }

    // Before each row, message 7 is pending and the ticket is "first"; an answer
    // applied to the sync makes 12 pending, one to a report confirms it.
    void answers_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<Response>("response");
        QTest::addColumn<bool>("applied");
        QTest::addColumn<QString>("ticket");
        const auto row = [](const char *name, const QByteArray &path, const Response &response,
                            bool applied, const char *ticket = "first") {
            QTest::addRow("%s: %s", path.constData(), name)
                << path << response << applied << QString::fromLatin1(ticket);
        };
        const QByteArray newer = offer(12, newerText);
        const auto ok = [](const QByteArray &body) { return Response::ok(body); };
        row("exactly 1 MiB", syncPath, ok(paddedTo(newer, mebibyte)), true, "open");
        row("id 0: no message, ticket kept", syncPath, ok(offer(0, "", "closed")), false, "closed");
        row("id past what a double holds exactly", syncPath,
            ok(R"({"mid": 9007199254740993, "msg": "x", "tk": "open"})"), false);
        row("not JSON", syncPath, ok("<html>busy</html>"), false);
        // Delivered only when confirmed by a JSON object with "ok": true.
        row("ok among other members", reportPath, ok(R"({"id": 4, "ok": true})"), true);
        row("ok false", reportPath, ok(R"({"ok": false})"), false);
        // Every failure ends within the short timeouts and changes nothing. One row per defence
        // of the bounded request, which serves both exchanges; tst_crashreports has its deadline
        // with no answer at all, and tst_updater its refusal of a redirect to clear text.
        row("drips a byte at a time", syncPath,
            { .body = newer, .fillerBytes = 100, .dripInterval = 100ms }, false);
        row("sends more than 1 MiB", syncPath, ok(paddedTo(newer, mebibyte + 1)), false);
        row("gzip bomb", reportPath, Response::gzipped(confirmed, 64 * mebibyte), false);
    }
    void answers()
    {
        QFETCH(QByteArray, path);
        QFETCH(Response, response);
        QFETCH(bool, applied);
        QFETCH(QString, ticket);
        channel->applySyncResponse(offer(7, "older", "first"));
        server->setResponse(path, response);
        QVERIFY(TestFiles::write(QStringLiteral("/proc/self/clear_refs"), "5"));
        const qint64 before = peakMemoryKib();
        QElapsedTimer elapsed;
        elapsed.start();
        std::optional<bool> delivered;
        if (path == reportPath)
            channel->reportProblem(QStringLiteral("text"), std::nullopt,
                                   [&](bool ok) { ++calls, delivered = ok; });
        else
            channel->checkWithServer([this] { ++calls; });
        finish();
        // Every exchange ends by its deadline, no answer makes the process grow, and none is
        // taken whole when too large.
        const qint64 grown = peakMemoryKib() - before, sent = server->fillerSent(path);
        QVERIFY2(
            elapsed.elapsed() < shortTimeout.count() + 600 && grown < 16 * 1024
                && sent < 8 * mebibyte,
            qPrintable(
                QString("%1 ms, %2 KiB, %3 bytes").arg(elapsed.elapsed()).arg(grown).arg(sent)));
        if (path == reportPath)
            QCOMPARE(delivered, std::optional(applied));
        QCOMPARE(channel->ticketState(), ticket);
        const PendingMessage pending = channel->pendingMessage().value_or(PendingMessage {});
        QCOMPARE(QString::number(pending.id) + ' ' + pending.body,
                 applied && path == syncPath ? "12 " + newerText : "7 older");
    }

    void callbacksNeverOutliveTheChannel()
    {
        server->setResponse(syncPath, { .neverAnswer = true });
        server->setResponse(reportPath, { .neverAnswer = true });
        bool called = false;
        channel->checkWithServer([&called] { called = true; });
        channel->reportProblem(QStringLiteral("text"), std::nullopt,
                               [&called](bool) { called = true; });
        QTRY_COMPARE(server->requests().size(), 2);
        channel.reset();
        // Once their transfers are gone, nothing is left to call back.
        QTRY_VERIFY(NetworkAccess::shared().findChildren<QNetworkReply *>().isEmpty());
        QCoreApplication::processEvents();
        QVERIFY(!called);
    }

    // Entries without a usable id or body are skipped but kept, the rest default to the maker's,
    // dated now.
    void storedHistoryIsReadLeniently()
    {
        const QVariantMap textId { { "id", "1" }, { "body", "x" } },
            bare { { "id", 7 }, { "body", "b" } },
            full { { "id", 5 },
                   { "body", "kept" },
                   { "date", QDateTime(QDate(2026, 2, 3), QTime(4, 5), Qt::UTC) },
                   { "mine", false } };
        const QVariantList stored { textId, bare, full, qint64(6) };
        DefaultsStore::setValue(historyKey, stored);
        const QList<ArchivedMessage> history = channel->messageHistory();
        QCOMPARE(ids(history), (QList<qint64> { 5, 7 }));
        QVERIFY(history.last().date == start && !history.last().mine);
        QCOMPARE(DefaultsStore::value(historyKey).toList(), stored);
        channel->applySyncResponse(offer(9, QStringLiteral("fresh")));
        channel->markMessageShown();
        QCOMPARE(ids(channel->messageHistory()), (QList<qint64> { 9, 5, 7 }));
        QCOMPARE(DefaultsStore::value(historyKey).toList().size(), 5);
    }

    // Texts from the server or the user may be of any length; the history keeps the newest
    // entries within what the next launch reads back (a change past that bound is refused,
    // tst_awakesettings' case). Each control character takes six bytes in the file.
    void longTextsStayReadableAtTheNextLaunch()
    {
        const QString text(30'000, QChar(1));
        for (int n = 1; n <= 50; ++n) {
            channel->archiveOwn(text);
            clock->advance(1s);
        }
        DefaultsStore::reload();
        const QList<ArchivedMessage> history = channel->messageHistory();
        QVERIFY(history.size() >= 8);
        QVERIFY(history.first().mine && history.first().date == start.addSecs(49)); // the last
    }
};

QTEST_GUILESS_MAIN(TestServerExchange)
#include "tst_serverexchange.moc"
