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

    void bothExchangesSendTheIdentityAsCompactJson();
    void syncAcknowledgesOnlyAStoredPositiveId_data();
    void syncAcknowledgesOnlyAStoredPositiveId();
    void syncAnswers_data();
    void syncAnswers();
    void reportSendsTextAndEmailAsGiven_data();
    void reportSendsTextAndEmailAsGiven();
    void reportAnswers_data();
    void reportAnswers();
    void failuresEndPromptlyAndChangeNothing_data();
    void failuresEndPromptlyAndChangeNothing();
    void reportAddressIsTakenAtEverySend();
    void nothingLeavesForAnAddressOffThisMachine();
    void callbacksNeverOutliveTheChannel();

private:
    void sync();
    std::optional<bool> report(const QString &text,
                               const std::optional<QString> &email = std::nullopt);
    QByteArray lastBodyTo(const QByteArray &path) const;
    QJsonObject lastRequestTo(const QByteArray &path) const;
    // A channel to this test's server, named by `host`; it outlives the server if need be.
    void makeChannel(const QString &host = QStringLiteral("127.0.0.1"));

    std::unique_ptr<LocalHttpServer> server;
    std::unique_ptr<SupportChannel> channel;
};

namespace {
const QByteArray syncPath = "/api/sync";
const QByteArray reportPath = "/api/report";
const QByteArray confirmed = R"({"ok": true})";
// Kept byte for byte: never escaped, trimmed or rendered.
const QString newerText = QStringLiteral("<img src=x onerror=alert(1)> &amp; <b>b</b>\n  é ✓ ");
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
Response deflated(const QByteArray &body)
{
    return { .body = qCompress(body, 9).mid(4), .headers = { { "Content-Encoding", "deflate" } } };
}

// Runs the event loop until the callback handed to `start` is called, or 5 s have passed, then
// lets whatever is queued run so that a second call would be counted too.
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
    server->setResponse(syncPath, Response::ok("{}"));
    server->setResponse(reportPath, Response::ok(confirmed));
    makeChannel();
}

void TestServerExchange::makeChannel(const QString &host)
{
    QUrl base = server->url({});
    base.setHost(host);
    const auto address
        = [base](const QByteArray &path) { return base.resolved(QUrl(QString::fromLatin1(path))); };
    channel = std::make_unique<SupportChannel>(address(syncPath),
                                               [address] { return address(reportPath); });
    channel->setTimeouts(shortTimeout, shortTimeout);
}

void TestServerExchange::sync()
{
    QCOMPARE(callsAfterRunning([this](auto called) { channel->checkWithServer(called); }), 1);
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

QByteArray TestServerExchange::lastBodyTo(const QByteArray &path) const
{
    for (auto it = server->requests().crbegin(); it != server->requests().crend(); ++it) {
        if (it->path() == path)
            return it->method == "POST" && it->headers.value("content-type") == "application/json"
                ? it->body
                : "not a JSON POST";
    }
    return {};
}

QJsonObject TestServerExchange::lastRequestTo(const QByteArray &path) const
{
    return QJsonDocument::fromJson(lastBodyTo(path)).object();
}

// The device id is created once; both kinds of exchange carry it.
void TestServerExchange::bothExchangesSendTheIdentityAsCompactJson()
{
    sync();
    QCOMPARE(report(QStringLiteral("It hangs")), std::optional(true));
    sync();
    QCOMPARE(server->requestCount(syncPath), 2);
    const QString deviceId = DefaultsStore::string(QStringLiteral("VLDeviceId")).value_or("");
    const QRegularExpression uuid(QStringLiteral("^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$"));
    QVERIFY2(uuid.match(deviceId).hasMatch(), qPrintable(deviceId));
    const auto identityAnd = [&deviceId](const char *key, const char *value) {
        return json({ { "d", deviceId },
                      { "v", RequestIdentity::versionText() },
                      { "os", RequestIdentity::systemText() },
                      { key, value } });
    };
    QCOMPARE(lastBodyTo(syncPath), identityAnd("c", "direct"));
    QCOMPARE(lastBodyTo(reportPath), identityAnd("text", "It hangs"));
}

void TestServerExchange::syncAcknowledgesOnlyAStoredPositiveId_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QJsonValue>("sent");
    const QJsonValue none(QJsonValue::Undefined);
    QTest::newRow("nothing stored") << QVariant() << none;
    QTest::newRow("zero") << QVariant(qint64(0)) << none;
    QTest::newRow("negative") << QVariant(qint64(-3)) << none;
    QTest::newRow("text") << QVariant(QStringLiteral("7")) << none;
    QTest::newRow("positive") << QVariant(qint64(7)) << QJsonValue(7);
    QTest::newRow("large") << QVariant(qint64(4'000'000'000)) << QJsonValue(qint64(4'000'000'000));
}

void TestServerExchange::syncAcknowledgesOnlyAStoredPositiveId()
{
    QFETCH(QVariant, stored);
    QFETCH(QJsonValue, sent);
    if (stored.isValid())
        DefaultsStore::setValue(QStringLiteral("VLAckMessage"), stored);
    sync();
    const QJsonObject body = lastRequestTo(syncPath);
    QCOMPARE(body.contains("m"), !sent.isUndefined());
    QCOMPARE(body.value("m"), sent);
}

void TestServerExchange::syncAnswers_data()
{
    QTest::addColumn<Response>("response");
    QTest::addColumn<QString>("ticket");
    QTest::addColumn<bool>("taken"); // the offered message replaced the pending one
    const auto row = [](const char *name, Response response, const char *ticket, bool taken) {
        QTest::newRow(name) << response << QString::fromLatin1(ticket) << taken;
    };
    const QByteArray newer = offer(12, newerText);
    // Before each row, message 7 is pending, the ticket is "first", 5 was shown.
    row("new message replaces the pending one", Response::ok(newer), "open", true);
    row("the body decides whatever the status", { .status = 500, .body = newer }, "open", true);
    row("members beyond the three ignored",
        Response::ok(json({ { "mid", 12 }, { "msg", newerText }, { "tk", "open" }, { "x", 1 } })),
        "open", true);
    row("an answer of exactly 1 MiB", Response::ok(paddedTo(newer, mebibyte)), "open", true);
    row("a compressed answer", deflated(newer), "open", true);
    row("any ticket word is kept", Response::ok(offer(0, "", "closed")), "closed", false);
    row("negative id", Response::ok(offer(-4, "text")), "open", false);
    row("empty text", Response::ok(offer(12, "")), "open", false);
    row("already shown", Response::ok(offer(5, "again")), "open", false);
    row("id as text", Response::ok(R"({"mid": "12", "msg": "x", "tk": "open"})"), "first", false);
    row("fractional id", Response::ok(R"({"mid": 12.5, "msg": "x", "tk": "open"})"), "first",
        false);
    row("text not a string", Response::ok(R"({"mid": 12, "msg": 3, "tk": "open"})"), "first",
        false);
    row("ticket not a string", Response::ok(R"({"mid": 12, "msg": "x", "tk": null})"), "first",
        false);
    row("an array", Response::ok("[" + newer + "]"), "first", false);
    row("not JSON", Response::ok("<html>busy</html>"), "first", false);
    row("status 500 with a page", { .status = 500, .body = "oops" }, "first", false);
}

void TestServerExchange::syncAnswers()
{
    QFETCH(Response, response);
    QFETCH(QString, ticket);
    QFETCH(bool, taken);
    DefaultsStore::setValue(QStringLiteral("VLShownMessages"), QVariantList { qint64(5) });
    channel->applySyncResponse(offer(7, "older", "first"));
    server->setResponse(syncPath, response);
    sync();
    QCOMPARE(channel->ticketState(), ticket);
    QVERIFY(channel->pendingMessage());
    QCOMPARE(channel->pendingMessage()->id, taken ? 12 : 7);
    QCOMPARE(channel->pendingMessage()->body, taken ? newerText : QStringLiteral("older"));
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
    const std::optional<QString> given
        = email.isValid() ? std::optional(email.toString()) : std::nullopt;
    QCOMPARE(report(newerText, given), std::optional(true));

    QCOMPARE(server->requestCount(reportPath), 1);
    const QJsonObject body = lastRequestTo(reportPath);
    QCOMPARE(body.keys().size(), sent.isUndefined() ? 4 : 5); // the identity, text and email
    QCOMPARE(body.value("text").toString(), newerText);
    QCOMPARE(body.value("email"), sent);
}

// Delivered only when the server confirmed it: status 200 and a JSON object with "ok": true.
void TestServerExchange::reportAnswers_data()
{
    QTest::addColumn<Response>("response");
    QTest::addColumn<bool>("delivered");
    QTest::newRow("ok true") << Response::ok(confirmed) << true;
    QTest::newRow("among other members") << Response::ok(R"({"id": 4, "ok": true})") << true;
    QTest::newRow("exactly 1 MiB") << Response::ok(paddedTo(confirmed, mebibyte)) << true;
    QTest::newRow("ok false") << Response::ok(R"({"ok": false})") << false;
    QTest::newRow("ok as text") << Response::ok(R"({"ok": "yes"})") << false;
    QTest::newRow("ok missing") << Response::ok("{}") << false;
    QTest::newRow("an array") << Response::ok("[true]") << false;
    QTest::newRow("not JSON") << Response::ok("ok") << false;
    QTest::newRow("status 201") << Response { .status = 201, .body = confirmed } << false;
}

void TestServerExchange::reportAnswers()
{
    QFETCH(Response, response);
    QFETCH(bool, delivered);
    server->setResponse(reportPath, response);
    QCOMPARE(report(QStringLiteral("text")), std::optional(delivered));
}

void TestServerExchange::failuresEndPromptlyAndChangeNothing_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<Response>("response");
    QTest::addColumn<bool>("serverGone");
    for (const QByteArray &path : { syncPath, reportPath }) {
        const QByteArray valid = path == syncPath ? offer(12, "newer") : confirmed;
        const auto row = [&path](const char *name, const Response &response, bool gone = false) {
            QTest::addRow("%s, %s", path.constData(), name) << path << response << gone;
        };
        row("never answers", { .neverAnswer = true });
        row("announces more than 1 MiB", Response::ok(paddedTo(valid, mebibyte + 1)));
        row("inflates past 1 MiB", deflated(paddedTo(valid, 2 * mebibyte)));
        row("nobody listens", Response::ok(valid), true);
    }
}

void TestServerExchange::failuresEndPromptlyAndChangeNothing()
{
    QFETCH(QByteArray, path);
    QFETCH(Response, response);
    QFETCH(bool, serverGone);
    channel->applySyncResponse(offer(7, "older", "first"));
    server->setResponse(path, response);
    if (serverGone)
        server.reset();
    QElapsedTimer elapsed;
    elapsed.start();
    if (path == syncPath)
        sync();
    else
        QCOMPARE(report(QStringLiteral("text")), std::optional(false));
    QVERIFY2(elapsed.elapsed() < 2000, qPrintable(QString::number(elapsed.elapsed())));
    QCOMPARE(channel->ticketState(), QStringLiteral("first"));
    QCOMPARE(channel->pendingMessage().value_or(PendingMessage {}).id, 7);
}

void TestServerExchange::reportAddressIsTakenAtEverySend()
{
    QByteArray path = "/first";
    channel = std::make_unique<SupportChannel>(
        QUrl(), [this, &path] { return server->url(QString::fromLatin1(path)); });
    server->setResponse("/first", Response::ok(confirmed));
    server->setResponse("/second", Response::ok(confirmed));
    QCOMPARE(report(QStringLiteral("one")), std::optional(true));
    path = "/second";
    QCOMPARE(report(QStringLiteral("two")), std::optional(true));
    QCOMPARE(server->requestCount("/first"), 1);
    QCOMPARE(server->requestCount("/second"), 1);
}

// 0.0.0.0 reaches the local server, but it is not a loopback address: plain http there would
// carry the identity in clear text, so nothing is sent.
void TestServerExchange::nothingLeavesForAnAddressOffThisMachine()
{
    makeChannel(QStringLiteral("0.0.0.0"));
    server->setResponse(syncPath, Response::ok(offer(12, "newer")));
    sync();
    QCOMPARE(report(QStringLiteral("text")), std::optional(false));
    QTest::qWait(100);
    QCOMPARE(server->requests().size(), 0);
    QCOMPARE(channel->ticketState(), QStringLiteral("none"));
}

void TestServerExchange::callbacksNeverOutliveTheChannel()
{
    server->setResponse(syncPath, { .neverAnswer = true });
    server->setResponse(reportPath, { .neverAnswer = true });
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
