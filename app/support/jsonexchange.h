#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <functional>

class QJsonObject;
class QNetworkAccessManager;
class QNetworkReply;
class QUrl;

// One POST of a JSON object to the maker's server and the answer to it. The answer's body is
// bounded: a reply that announces or delivers more than maximumBodySize bytes is cut off and
// counts as no answer, so a broken or hostile server cannot make the program buffer without
// end. The exchange lives as a child of its owner: the callback runs exactly once on the
// owner's thread, unless the owner goes away first, which abandons the request silently.
class JsonExchange : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 maximumBodySize = 1024 * 1024;

    struct Answer
    {
        // An HTTP answer arrived whole, whatever its status; false for every transport failure,
        // a timeout and an answer that was too large.
        bool received = false;
        int status = 0;
        QByteArray body;
    };
    using Callback = std::function<void(const Answer &)>;

    // `timeout` ends the request when nothing has moved for that long.
    static void post(QNetworkAccessManager &network, const QUrl &url, const QJsonObject &body,
                     std::chrono::milliseconds timeout, QObject *owner, Callback done);

    ~JsonExchange() override;

private:
    JsonExchange(QNetworkReply *reply, Callback done, QObject *owner);

    void checkAnnouncedSize();
    void readAvailable();
    void abandon();
    void finish();

    QPointer<QNetworkReply> m_reply;
    Callback m_done;
    QByteArray m_body;
    bool m_abandoned = false;
};
