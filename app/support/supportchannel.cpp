// SPDX-License-Identifier: MIT
#include "supportchannel.h"

#include "clock.h"
#include "defaultsstore.h"
#include "endpoints.h"
#include "jsonexchange.h"
#include "jsonsettingsformat.h"
#include "requestidentity.h"
#include "settingkeys.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QVariantList>
#include <QVariantMap>

#include <algorithm>
#include <memory>
#include <numeric>

namespace {

// A list is used only when every element has the expected type; anything else reads as empty,
// and the next write replaces it.
QVariantList storedList(const SettingKeys::Value &key, bool (*isElement)(const QVariant &))
{
    const QVariant stored = key.read();
    if (stored.typeId() != QMetaType::QVariantList)
        return {};
    const QVariantList list = stored.toList();
    return std::all_of(list.cbegin(), list.cend(), isElement) ? list : QVariantList();
}

// One bad entry costs only itself: the entries around it stay readable and stored.
QVariantList storedHistory()
{
    const QVariant stored = SettingKeys::messageHistory.read();
    return stored.typeId() == QMetaType::QVariantList ? stored.toList() : QVariantList();
}

QVariantList lastEntries(const QVariantList &list)
{
    return list.mid(std::max<qsizetype>(0, list.size() - SupportChannel::historyLimit));
}

void storeWithLimit(const SettingKeys::Value &key, const QVariantList &list)
{
    key.write(lastEntries(list));
}

qsizetype storedSize(const QVariant &entry)
{
    return JsonSettingsFormat::serialize({ { QString(), entry } }).size();
}

// The settings file has a size its reader accepts; the history keeps well inside it by dropping
// its oldest entries, never the newest one.
void storeHistory(const QVariantList &history)
{
    QVariantList kept = lastEntries(history);
    qsizetype size
        = std::accumulate(kept.cbegin(), kept.cend(), qsizetype(0),
                          [](qsizetype sum, const QVariant &e) { return sum + storedSize(e); });
    while (kept.size() > 1 && size > SupportChannel::historyByteLimit)
        size -= storedSize(kept.takeFirst());
    SettingKeys::messageHistory.write(kept);
}

// A text far beyond any conversation is kept as its beginning, marked as cut.
QString storedText(const QString &text)
{
    if (text.size() <= SupportChannel::storedTextLimit)
        return text;
    qsizetype cut = SupportChannel::storedTextLimit - 1;
    if (text.at(cut - 1).isHighSurrogate())
        --cut;
    return text.left(cut) + QChar(0x2026);
}

bool isId(const QVariant &stored, qint64 id)
{
    return DefaultsStore::isInteger(stored) && stored.toLongLong() == id;
}

bool historyHolds(const QVariantList &history, qint64 id)
{
    return std::any_of(history.cbegin(), history.cend(), [id](const QVariant &entry) {
        return isId(entry.toMap().value(QStringLiteral("id")), id);
    });
}

bool wasShown(qint64 id)
{
    const QVariantList shown = storedList(SettingKeys::shownMessages, DefaultsStore::isInteger);
    return std::any_of(shown.cbegin(), shown.cend(),
                       [id](const QVariant &stored) { return isId(stored, id); });
}

QVariantMap historyEntry(qint64 id, const QString &body, const QDateTime &date, bool mine)
{
    return { { QStringLiteral("id"), id },
             { QStringLiteral("body"), storedText(body) },
             { QStringLiteral("date"), date },
             { QStringLiteral("mine"), mine } };
}

std::optional<ArchivedMessage> archivedMessage(const QVariantMap &entry, const QDateTime &now)
{
    const QVariant id = entry.value(QStringLiteral("id"));
    const QVariant body = entry.value(QStringLiteral("body"));
    if (!DefaultsStore::isInteger(id) || body.typeId() != QMetaType::QString)
        return std::nullopt;
    const QVariant date = entry.value(QStringLiteral("date"));
    const QVariant mine = entry.value(QStringLiteral("mine"));
    // The file keeps dates in UTC; the window shows them in the user's time.
    return ArchivedMessage { id.toLongLong(), body.toString(),
                             date.typeId() == QMetaType::QDateTime ? date.toDateTime().toLocalTime()
                                                                   : now,
                             mine.typeId() == QMetaType::Bool && mine.toBool() };
}

// Replies are numbered by the second they were written, negated, so they never meet the
// maker's positive ids. Integer division truncates toward zero, as the numbering wants.
qint64 replyId(const QDateTime &at)
{
    return -(at.toMSecsSinceEpoch() / 1000);
}

bool reportConfirmed(const JsonExchange::Answer &answer)
{
    if (!answer.received || answer.status != 200)
        return false;
    const QJsonDocument document = QJsonDocument::fromJson(answer.body);
    const QJsonValue ok = document.object().value(QStringLiteral("ok"));
    return document.isObject() && ok.isBool() && ok.toBool();
}

std::unique_ptr<SupportChannel> &sharedInstance()
{
    static std::unique_ptr<SupportChannel> instance;
    return instance;
}

void dropSharedInstance()
{
    sharedInstance().reset();
}
} // namespace

SupportChannel::SupportChannel(const QUrl &checkUrl, std::function<QUrl()> reportUrl,
                               QObject *parent)
    : QObject(parent)
    , m_checkUrl(checkUrl)
    , m_reportUrl(std::move(reportUrl))
    , m_clock(&Clock::system())
{ }

SupportChannel &SupportChannel::shared()
{
    auto &instance = sharedInstance();
    if (!instance) {
        instance = std::make_unique<SupportChannel>(Endpoints::sync(), &Endpoints::report);
        // Abandon exchanges still under way while the network manager still exists.
        qAddPostRoutine(dropSharedInstance);
    }
    return *instance;
}

void SupportChannel::setClock(const Clock &clock)
{
    m_clock = &clock;
}

void SupportChannel::setTimeouts(std::chrono::milliseconds sync, std::chrono::milliseconds report)
{
    m_syncTimeout = sync;
    m_reportTimeout = report;
}

void SupportChannel::markMessageShown()
{
    if (!m_pendingMessage)
        return;
    const PendingMessage shown = *m_pendingMessage;
    QVariantList shownIds = storedList(SettingKeys::shownMessages, DefaultsStore::isInteger);
    shownIds.append(shown.id);
    storeWithLimit(SettingKeys::shownMessages, shownIds);
    SettingKeys::ackMessage.write(shown.id);
    archive(shown.id, shown.body);
    m_pendingMessage.reset();
}

void SupportChannel::archive(qint64 id, const QString &body)
{
    QVariantList history = storedHistory();
    if (historyHolds(history, id))
        return;
    history.append(historyEntry(id, body, m_clock->now(), false));
    storeHistory(history);
}

void SupportChannel::archiveOwn(const QString &text)
{
    QVariantList history = storedHistory();
    const QDateTime now = m_clock->now();
    history.append(historyEntry(replyId(now), text, now, true));
    storeHistory(history);
}

QList<ArchivedMessage> SupportChannel::messageHistory() const
{
    const QDateTime now = m_clock->now();
    QList<ArchivedMessage> messages;
    for (const QVariant &entry : storedHistory()) {
        if (const auto message = archivedMessage(entry.toMap(), now))
            messages.prepend(*message);
    }
    return messages;
}

void SupportChannel::checkWithServer(std::function<void()> done)
{
    QJsonObject request = RequestIdentity::fields(RequestIdentity::DeviceId::Created);
    request.insert(QStringLiteral("c"), QStringLiteral("direct"));
    if (const auto ack = SettingKeys::ackMessage.stored(); ack && *ack > 0)
        request.insert(QStringLiteral("m"), *ack);
    JsonExchange::post(m_checkUrl, request, m_syncTimeout, this,
                       [this, done = std::move(done)](const JsonExchange::Answer &answer) {
                           // Whatever the status: the body alone decides.
                           if (answer.received)
                               applySyncResponse(answer.body);
                           if (done)
                               done();
                       });
}

void SupportChannel::applySyncResponse(const QByteArray &body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const QJsonObject answer = document.object();
    const std::optional<qint64> id
        = JsonSettingsFormat::integerOf(answer.value(QStringLiteral("mid")));
    const QJsonValue text = answer.value(QStringLiteral("msg"));
    const QJsonValue ticket = answer.value(QStringLiteral("tk"));
    if (!document.isObject() || !id || !text.isString() || !ticket.isString())
        return;
    m_ticketState = ticket.toString();
    if (*id > 0 && !text.toString().isEmpty() && !wasShown(*id))
        m_pendingMessage = PendingMessage { *id, text.toString() };
}

void SupportChannel::reportProblem(const QString &text, const std::optional<QString> &email,
                                   std::function<void(bool)> done)
{
    QJsonObject request = RequestIdentity::fields(RequestIdentity::DeviceId::Created);
    request.insert(QStringLiteral("text"), text);
    if (email && !email->isEmpty())
        request.insert(QStringLiteral("email"), *email);
    JsonExchange::post(m_reportUrl(), request, m_reportTimeout, this,
                       [done = std::move(done)](const JsonExchange::Answer &answer) {
                           if (done)
                               done(reportConfirmed(answer));
                       });
}
