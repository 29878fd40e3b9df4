#include "defaultsstore.h"
#include "localhttpserver.h"
#include "requestidentity.h"
#include "supportchannel.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace std::chrono_literals;
using Response = LocalHttpServer::Response;

// The hourly exchange and the problem report against a local stand-in for the maker's server:
// exactly what is sent, which answers are applied or count as delivered, and that every failure
// (a silent server, an oversized answer, no server at all) ends promptly, calls back once and
// changes nothing.
class TestServerExchange : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init();
    void cleanup();

    void syncSendsTheIdentityAsCompactJson();
    void syncAcknowledgesOnlyAStoredPositiveId_data();
    void syncAcknowledgesOnlyAStoredPositiveId();
    void shownMessageIsAcknowledgedAndNotOfferedAgain();
    void storedDeviceIdIsSentAsItIs_data();
    void storedDeviceIdIsSentAsItIs();
    void syncAnswers_data();
    void syncAnswers();
    void messageTextIsKeptByteForByte();
    void syncFailuresChangeNothing_data();
    void syncFailuresChangeNothing();
    void reportSendsTextAndEmailAsGiven_data();
    void reportSendsTextAndEmailAsGiven();
    void reportAnswers_data();
    void reportAnswers();
    void reportFailures_data();
    void reportFailures();
    void reportAddressIsTakenAtEverySend();
    void nothingLeavesForAnAddressOffThisMachine();
    void callbacksNeverOutliveTheChannel();

private:
    void sync();
    std::optional<bool> report(const QString &text,
                               const std::optional<QString> &email = std::nullopt);
    QJsonObject lastRequestTo(const QByteArray &path) const;
    void answerFirstSyncWithAnOlderMessage();

    std::unique_ptr<LocalHttpServer> server;
    std::unique_ptr<SupportChannel> channel;
};

namespace {
const QByteArray syncPath = "/api/sync";
const QByteArray reportPath = "/api/report";
constexpr auto shortTimeout = 400ms;
constexpr qint64 mebibyte = 1024 * 1024;

QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray offer(qint64 id, const QString &text, const QString &ticket = QStringLiteral("open"))
{
    return json({ { "mid", id }, { "msg", text }, { "tk", ticket } });
}

// A valid answer padded with white space: applied whenever it is read at all.
QByteArray paddedTo(const QByteArray &answer, qint64 size)
{
    return answer + QByteArray(size - answer.size(), ' ');
}

// Small on the wire, large once Qt has inflated it: only the bound on what arrives refuses it.
Response deflated(int status, const QByteArray &body)
{
    return { .status = status,
             .body = qCompress(body, 9).mid(4),
             .headers = { { "Content-Encoding", "deflate" } } };
}

Response unanswered()
{
    return { .neverAnswer = true };
}

// Runs the event loop until the callback handed to `start` is called, or 5 s have passed, then
// lets whatever is queued run so that a second call would be counted too. Answers the calls.
int callsAfterRunning(const std::function<void(std::function<void()>)> &start)
{
    QEventLoop loop;
    const auto calls = std::make_shared<int>(0);
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    start([calls, guarded = QPointer<QEventLoop>(&loop)] {
        if (++*calls == 1 && guarded)
            guarded->quit();
    });
    if (*calls == 0)
        loop.exec();
    for (int round = 0; round < 3; ++round)
        QCoreApplication::processEvents();
    return *calls;
}
} // namespace

void TestServerExchange::init()
{
    DefaultsStore::clear();
    server = std::make_unique<LocalHttpServer>();
    QVERIFY(server->isListening());
    channel = std::make_unique<SupportChannel>(server->url(QString::fromLatin1(syncPath)), [this] {
        return server->url(QString::fromLatin1(reportPath));
    });
    channel->setTimeouts(shortTimeout, shortTimeout);
}

void TestServerExchange::cleanup()
{
    channel.reset();
    server.reset();
}

void TestServerExchange::sync()
{
    const int calls = callsAfterRunning(
        [this](std::function<void()> called) { channel->checkWithServer(std::move(called)); });
    QCOMPARE(calls, 1);
}

std::optional<bool> TestServerExchange::report(const QString &text,
                                               const std::optional<QString> &email)
{
    const auto result = std::make_shared<std::optional<bool>>();
    const int calls = callsAfterRunning([&](std::function<void()> called) {
        channel->reportProblem(text, email, [result, called](bool delivered) {
            *result = delivered;
            called();
        });
    });
    return calls == 1 ? *result : std::nullopt;
}

QJsonObject TestServerExchange::lastRequestTo(const QByteArray &path) const
{
    for (auto it = server->requests().crbegin(); it != server->requests().crend(); ++it) {
        if (it->path() == path)
            return QJsonDocument::fromJson(it->body).object();
    }
    return {};
}

void TestServerExchange::answerFirstSyncWithAnOlderMessage()
{
    DefaultsStore::setValue(QStringLiteral("VLShownMessages"), QVariantList { qint64(5) });
    server->setResponse(syncPath, Response::ok(offer(7, "older", "first")));
    sync();
    QCOMPARE(channel->ticketState(), QStringLiteral("first"));
    QVERIFY(channel->pendingMessage());
    QCOMPARE(channel->pendingMessage()->id, 7);
}

void TestServerExchange::syncSendsTheIdentityAsCompactJson()
{
    QVERIFY(!DefaultsStore::string(QStringLiteral("VLDeviceId")));
    server->setResponse(syncPath, Response::ok("{}"));
    server->setResponse(reportPath, Response::ok(R"({"ok": true})"));
    sync();

    QCOMPARE(server->requestCount(syncPath), 1);
    const LocalHttpServer::Request &request = server->requests().constLast();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.headers.value("content-type"), QByteArray("application/json"));
    const QJsonObject body = QJsonDocument::fromJson(request.body).object();
    QCOMPARE(request.body, json(body));
    QCOMPARE(body.keys(), (QStringList { "c", "d", "os", "v" }));
    QCOMPARE(body.value("c"), QJsonValue("direct"));
    QCOMPARE(body.value("v").toString(), RequestIdentity::versionText());
    QCOMPARE(body.value("os").toString(), RequestIdentity::systemText());
    QVERIFY(!body.value("os").toString().isEmpty());

    const QString deviceId = body.value("d").toString();
    const QRegularExpression uuid(QStringLiteral("^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$"));
    QVERIFY2(uuid.match(deviceId).hasMatch(), qPrintable(deviceId));
    QCOMPARE(DefaultsStore::string(QStringLiteral("VLDeviceId")), deviceId);

    // Created once: later exchanges of either kind carry the same identifier.
    sync();
    QCOMPARE(report(QStringLiteral("It hangs")), std::optional(true));
    QCOMPARE(lastRequestTo(syncPath).value("d").toString(), deviceId);
    QCOMPARE(lastRequestTo(reportPath).value("d").toString(), deviceId);
    QCOMPARE(lastRequestTo(reportPath).value("v").toString(), RequestIdentity::versionText());
    QCOMPARE(lastRequestTo(reportPath).value("os").toString(), RequestIdentity::systemText());
}

void TestServerExchange::syncAcknowledgesOnlyAStoredPositiveId_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QJsonValue>("sent");
    QTest::newRow("nothing stored") << QVariant() << QJsonValue(QJsonValue::Undefined);
    QTest::newRow("zero") << QVariant(qint64(0)) << QJsonValue(QJsonValue::Undefined);
    QTest::newRow("negative") << QVariant(qint64(-3)) << QJsonValue(QJsonValue::Undefined);
    QTest::newRow("text") << QVariant(QStringLiteral("7")) << QJsonValue(QJsonValue::Undefined);
    QTest::newRow("positive") << QVariant(qint64(7)) << QJsonValue(7);
    QTest::newRow("large") << QVariant(qint64(4'000'000'000)) << QJsonValue(qint64(4'000'000'000));
}

void TestServerExchange::syncAcknowledgesOnlyAStoredPositiveId()
{
    QFETCH(QVariant, stored);
    QFETCH(QJsonValue, sent);
    if (stored.isValid())
        DefaultsStore::setValue(QStringLiteral("VLAckMessage"), stored);
    server->setResponse(syncPath, Response::ok("{}"));
    sync();
    const QJsonObject body = lastRequestTo(syncPath);
    QCOMPARE(body.contains("m"), !sent.isUndefined());
    QCOMPARE(body.value("m"), sent);
}

void TestServerExchange::shownMessageIsAcknowledgedAndNotOfferedAgain()
{
    server->setResponse(syncPath, Response::ok(offer(12, "Hello")));
    sync();
    channel->markMessageShown();
    sync();
    QCOMPARE(lastRequestTo(syncPath).value("m"), QJsonValue(12));
    QVERIFY(!channel->pendingMessage());
    QCOMPARE(channel->messageHistory().size(), 1);
}

void TestServerExchange::storedDeviceIdIsSentAsItIs_data()
{
    QTest::addColumn<QString>("stored");
    QTest::newRow("empty") << QString(QLatin1String(""));
    QTest::newRow("not a UUID") << QStringLiteral("lower-case id");
}

void TestServerExchange::storedDeviceIdIsSentAsItIs()
{
    QFETCH(QString, stored);
    DefaultsStore::setValue(QStringLiteral("VLDeviceId"), stored);
    server->setResponse(syncPath, Response::ok("{}"));
    server->setResponse(reportPath, Response::ok(R"({"ok": true})"));
    sync();
    QCOMPARE(report(QStringLiteral("text")), std::optional(true));
    QCOMPARE(lastRequestTo(syncPath).value("d"), QJsonValue(stored));
    QCOMPARE(lastRequestTo(reportPath).value("d"), QJsonValue(stored));
    QCOMPARE(DefaultsStore::value(QStringLiteral("VLDeviceId")), QVariant(stored));
}

void TestServerExchange::syncAnswers_data()
{
    QTest::addColumn<Response>("response");
    QTest::addColumn<QString>("ticket");
    QTest::addColumn<qint64>("pendingId");
    QTest::addColumn<QString>("pendingText");

    // Before each row, message 7 ("older") is pending, the ticket is "first", 5 was shown.
    const auto row
        = [](const char *name, Response response, const char *ticket, qint64 id, const char *text) {
              QTest::newRow(name) << response << QString::fromUtf8(ticket) << id
                                  << QString::fromUtf8(text);
          };
    row("new message replaces the pending one", Response::ok(offer(12, "newer")), "open", 12,
        "newer");
    row("applied whatever the status", { .status = 500, .body = offer(12, "newer") }, "open", 12,
        "newer");
    row("any ticket word is kept", Response::ok(offer(0, "", "closed")), "closed", 7, "older");
    row("members beyond the three ignored",
        Response::ok(R"({"mid": 12, "msg": "newer", "tk": "open", "extra": [1]})"), "open", 12,
        "newer");
    row("an answer of exactly 1 MiB", Response::ok(paddedTo(offer(12, "newer"), mebibyte)), "open",
        12, "newer");
    row("a compressed answer", deflated(200, offer(12, "newer")), "open", 12, "newer");
    row("no message on offer", Response::ok(offer(0, "text")), "open", 7, "older");
    row("negative id", Response::ok(offer(-4, "text")), "open", 7, "older");
    row("empty text", Response::ok(offer(12, "")), "open", 7, "older");
    row("already shown", Response::ok(offer(5, "again")), "open", 7, "older");
    row("id as text", Response::ok(R"({"mid": "12", "msg": "newer", "tk": "open"})"), "first", 7,
        "older");
    row("fractional id", Response::ok(R"({"mid": 12.5, "msg": "newer", "tk": "open"})"), "first", 7,
        "older");
    row("id missing", Response::ok(R"({"msg": "newer", "tk": "open"})"), "first", 7, "older");
    row("text not a string", Response::ok(R"({"mid": 12, "msg": 3, "tk": "open"})"), "first", 7,
        "older");
    row("ticket missing", Response::ok(R"({"mid": 12, "msg": "newer"})"), "first", 7, "older");
    row("ticket not a string", Response::ok(R"({"mid": 12, "msg": "newer", "tk": null})"), "first",
        7, "older");
    row("an array", Response::ok("[" + offer(12, "newer") + "]"), "first", 7, "older");
    row("not JSON", Response::ok("<html>busy</html>"), "first", 7, "older");
    row("empty body", Response::ok(""), "first", 7, "older");
    row("status 500 with a page", { .status = 500, .body = "oops" }, "first", 7, "older");
}

void TestServerExchange::syncAnswers()
{
    QFETCH(Response, response);
    QFETCH(QString, ticket);
    QFETCH(qint64, pendingId);
    QFETCH(QString, pendingText);
    answerFirstSyncWithAnOlderMessage();
    if (QTest::currentTestFailed())
        return;
    server->setResponse(syncPath, response);
    sync();
    QCOMPARE(channel->ticketState(), ticket);
    QVERIFY(channel->pendingMessage());
    QCOMPARE(channel->pendingMessage()->id, pendingId);
    QCOMPARE(channel->pendingMessage()->body, pendingText);
}

void TestServerExchange::messageTextIsKeptByteForByte()
{
    const QString text = QStringLiteral("<img src=x onerror=alert(1)> &amp; <b>bold</b>\n  é ✓ ");
    server->setResponse(syncPath, Response::ok(offer(12, text)));
    sync();
    QVERIFY(channel->pendingMessage());
    QCOMPARE(channel->pendingMessage()->body, text);
    channel->markMessageShown();
    QCOMPARE(channel->messageHistory().constFirst().body, text);
    const QVariantList stored = DefaultsStore::value(QStringLiteral("VLMessageHistory")).toList();
    QCOMPARE(stored.constFirst().toMap().value(QStringLiteral("body")).toString(), text);
}

void TestServerExchange::syncFailuresChangeNothing_data()
{
    QTest::addColumn<Response>("response");
    QTest::addColumn<bool>("serverGone");
    const QByteArray valid = offer(12, "newer", "open");
    QTest::newRow("never answers") << unanswered() << false;
    QTest::newRow("announces more than 1 MiB")
        << Response::ok(paddedTo(valid, mebibyte + 1)) << false;
    QTest::newRow("inflates past 1 MiB") << deflated(200, paddedTo(valid, 2 * mebibyte)) << false;
    QTest::newRow("nobody listens") << Response::ok(valid) << true;
}

void TestServerExchange::syncFailuresChangeNothing()
{
    QFETCH(Response, response);
    QFETCH(bool, serverGone);
    answerFirstSyncWithAnOlderMessage();
    if (QTest::currentTestFailed())
        return;
    server->setResponse(syncPath, response);
    if (serverGone)
        server.reset();
    QElapsedTimer elapsed;
    elapsed.start();
    sync();
    QVERIFY2(elapsed.elapsed() < 2000, qPrintable(QString::number(elapsed.elapsed())));
    QCOMPARE(channel->ticketState(), QStringLiteral("first"));
    QVERIFY(channel->pendingMessage());
    QCOMPARE(channel->pendingMessage()->id, 7);
}

void TestServerExchange::reportSendsTextAndEmailAsGiven_data()
{
    QTest::addColumn<QVariant>("email"); // a null QVariant: no address given
    QTest::addColumn<QJsonValue>("sent");
    QTest::newRow("no address") << QVariant() << QJsonValue(QJsonValue::Undefined);
    QTest::newRow("empty address")
        << QVariant(QString(QLatin1String(""))) << QJsonValue(QJsonValue::Undefined);
    QTest::newRow("spaces kept") << QVariant(QStringLiteral("  ana@example.org "))
                                 << QJsonValue("  ana@example.org ");
    QTest::newRow("blank is not empty") << QVariant(QStringLiteral("   ")) << QJsonValue("   ");
}

void TestServerExchange::reportSendsTextAndEmailAsGiven()
{
    QFETCH(QVariant, email);
    QFETCH(QJsonValue, sent);
    const QString text = QStringLiteral("It stops <b>after</b> an hour\n  — café ✓");
    server->setResponse(reportPath, Response::ok(R"({"ok": true})"));
    const std::optional<QString> given
        = email.isValid() ? std::optional(email.toString()) : std::nullopt;
    QCOMPARE(report(text, given), std::optional(true));

    QCOMPARE(server->requestCount(reportPath), 1);
    const LocalHttpServer::Request &request = server->requests().constLast();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.headers.value("content-type"), QByteArray("application/json"));
    const QJsonObject body = QJsonDocument::fromJson(request.body).object();
    QCOMPARE(request.body, json(body));
    QStringList keys { "d", "os", "text", "v" };
    if (!sent.isUndefined())
        keys.append(QStringLiteral("email"));
    keys.sort();
    QCOMPARE(body.keys(), keys);
    QCOMPARE(body.value("text").toString(), text);
    QCOMPARE(body.value("email"), sent);
}

void TestServerExchange::reportAnswers_data()
{
    QTest::addColumn<Response>("response");
    QTest::addColumn<bool>("delivered");
    QTest::newRow("ok true") << Response::ok(R"({"ok": true})") << true;
    QTest::newRow("ok true among other members")
        << Response::ok(R"({"id": 4, "ok": true})") << true;
    QTest::newRow("exactly 1 MiB") << Response::ok(paddedTo(R"({"ok": true})", mebibyte)) << true;
    QTest::newRow("ok false") << Response::ok(R"({"ok": false})") << false;
    QTest::newRow("ok as text") << Response::ok(R"({"ok": "yes"})") << false;
    QTest::newRow("ok as number") << Response::ok(R"({"ok": 1})") << false;
    QTest::newRow("ok missing") << Response::ok("{}") << false;
    QTest::newRow("an array") << Response::ok("[true]") << false;
    QTest::newRow("not JSON") << Response::ok("ok") << false;
    QTest::newRow("empty body") << Response::ok("") << false;
    QTest::newRow("status 500") << Response { .status = 500, .body = R"({"ok": true})" } << false;
    QTest::newRow("status 201") << Response { .status = 201, .body = R"({"ok": true})" } << false;
}

void TestServerExchange::reportAnswers()
{
    QFETCH(Response, response);
    QFETCH(bool, delivered);
    server->setResponse(reportPath, response);
    QCOMPARE(report(QStringLiteral("text")), std::optional(delivered));
}

void TestServerExchange::reportFailures_data()
{
    QTest::addColumn<Response>("response");
    QTest::addColumn<bool>("serverGone");
    const QByteArray confirmed = R"({"ok": true})";
    QTest::newRow("never answers") << unanswered() << false;
    QTest::newRow("announces more than 1 MiB")
        << Response::ok(paddedTo(confirmed, mebibyte + 1)) << false;
    QTest::newRow("inflates past 1 MiB")
        << deflated(200, paddedTo(confirmed, 2 * mebibyte)) << false;
    QTest::newRow("nobody listens") << Response::ok(confirmed) << true;
}

void TestServerExchange::reportFailures()
{
    QFETCH(Response, response);
    QFETCH(bool, serverGone);
    server->setResponse(reportPath, response);
    const QUrl address = server->url(QString::fromLatin1(reportPath));
    channel = std::make_unique<SupportChannel>(QUrl(), [address] { return address; });
    channel->setTimeouts(shortTimeout, shortTimeout);
    if (serverGone)
        server.reset();
    QElapsedTimer elapsed;
    elapsed.start();
    QCOMPARE(report(QStringLiteral("text")), std::optional(false));
    QVERIFY2(elapsed.elapsed() < 2000, qPrintable(QString::number(elapsed.elapsed())));
}

void TestServerExchange::reportAddressIsTakenAtEverySend()
{
    QByteArray path = "/first";
    channel = std::make_unique<SupportChannel>(
        QUrl(), [this, &path] { return server->url(QString::fromLatin1(path)); });
    server->setResponse("/first", Response::ok(R"({"ok": true})"));
    server->setResponse("/second", Response::ok(R"({"ok": true})"));
    QCOMPARE(report(QStringLiteral("one")), std::optional(true));
    path = "/second";
    QCOMPARE(report(QStringLiteral("two")), std::optional(true));
    QCOMPARE(server->requestCount("/first"), 1);
    QCOMPARE(server->requestCount("/second"), 1);
}

void TestServerExchange::nothingLeavesForAnAddressOffThisMachine()
{
    // 0.0.0.0 reaches the local server, but it is not a loopback address: plain http there
    // would carry the identity in clear text, so nothing is sent.
    const auto unencrypted = [this](const QByteArray &path) {
        QUrl address = server->url(QString::fromLatin1(path));
        address.setHost(QStringLiteral("0.0.0.0"));
        return address;
    };
    channel = std::make_unique<SupportChannel>(unencrypted(syncPath),
                                               [&] { return unencrypted(reportPath); });
    server->setResponse(syncPath, Response::ok(offer(12, "newer")));
    server->setResponse(reportPath, Response::ok(R"({"ok": true})"));
    sync();
    QCOMPARE(report(QStringLiteral("text")), std::optional(false));
    QTest::qWait(100);
    QCOMPARE(server->requests().size(), 0);
    QCOMPARE(channel->ticketState(), QStringLiteral("none"));
}

void TestServerExchange::callbacksNeverOutliveTheChannel()
{
    server->setResponse(syncPath, unanswered());
    server->setResponse(reportPath, unanswered());
    bool called = false;
    channel->checkWithServer([&called] { called = true; });
    channel->reportProblem(QStringLiteral("text"), std::nullopt,
                           [&called](bool) { called = true; });
    QTRY_COMPARE(server->requests().size(), 2);
    channel.reset();
    QTest::qWait(shortTimeout.count() * 2);
    QVERIFY(!called);
}

QTEST_GUILESS_MAIN(TestServerExchange)
#include "tst_serverexchange.moc"
