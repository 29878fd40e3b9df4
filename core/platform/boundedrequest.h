// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>

// One request through the process's network access manager, under the rules every exchange
// with a server shares. Nothing is sent to an address NetworkAccess::isAllowed() refuses, and a
// redirect is followed only to an address it accepts. The whole exchange ends at its deadline,
// however slowly the server trickles, so a hostile server cannot hold it (and the network
// thread) for ever. A body that announces or delivers more than the bound is cut at once, and a
// compressed one is inflated only up to it. The body is kept here, or handed to a sink chunk by
// chunk. finished() comes exactly once, always after the call that made the request returned,
// unless the request is destroyed first, which aborts the transfer silently.
class BoundedRequest : public QObject
{
    Q_OBJECT

public:
    enum class Failure {
        None, // an HTTP answer arrived whole, whatever its status
        RefusedAddress, // see refusedUrl()
        RefusedRedirect, // see refusedUrl()
        TimedOut,
        TooLarge,
        Undecodable, // a compressed body that could not be inflated within the bound
        Stopped, // the sink asked to stop
        Network, // any other transport failure; see errorString()
    };

    struct Limits
    {
        std::chrono::milliseconds deadline; // for the whole exchange
        qint64 maxBodySize;
        std::chrono::milliseconds stallTimeout { 0 }; // 0: the deadline alone
        int maxRedirects = 5; // 0: a redirect is an answer like any other, never followed
    };
    // Takes each chunk of the body as it arrives; false stops the transfer.
    using Sink = std::function<bool(const QByteArray &chunk)>;

    static BoundedRequest *get(const QUrl &url, const Limits &limits, QObject *parent);
    // Sends the object as compact JSON.
    static BoundedRequest *postJson(const QUrl &url, const QJsonObject &body, const Limits &limits,
                                    QObject *parent);
    ~BoundedRequest() override;

    // Set before control returns to the event loop; without one the body is kept.
    void setSink(Sink sink) { m_sink = std::move(sink); }

    Failure failure() const { return m_failure; }
    int status() const { return m_status; }
    // Qt's own verdict, an HTTP error status included, and its text.
    QNetworkReply::NetworkError networkError() const { return m_networkError; }
    QString errorString() const { return m_errorString; }
    QUrl refusedUrl() const { return m_refusedUrl; }
    qint64 bytesReceived() const { return m_received; }
    QByteArray takeBody() { return std::exchange(m_body, {}); }

signals:
    void finished();

private:
    BoundedRequest(const QUrl &url, const Limits &limits, QObject *parent);

    void watch(QNetworkReply *reply);
    void checkRedirect(const QUrl &target);
    void checkAnnouncedSize();
    void readAvailable();
    void fail(Failure failure);
    void conclude();
    Failure failureOfReply() const;

    Limits m_limits;
    QPointer<QNetworkReply> m_reply;
    QTimer m_deadline;
    Sink m_sink;
    QByteArray m_body;
    qint64 m_received = 0;
    Failure m_failure = Failure::None;
    int m_status = 0;
    QNetworkReply::NetworkError m_networkError = QNetworkReply::NoError;
    QString m_errorString;
    QUrl m_refusedUrl;
    bool m_concluded = false;
};
