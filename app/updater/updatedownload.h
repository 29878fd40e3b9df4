// SPDX-License-Identifier: MIT
#pragma once

#include "appcast.h"

#include <QCryptographicHash>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <memory>

class BoundedRequest;
class QTemporaryFile;

// Fetches a release's file into a folder: streamed to a hidden partial file in that folder,
// hashed on the way, and checked against the length and SHA-256 the feed announced. A server
// that sends more than announced is cut off at once, and one that trickles is given up once the
// file has had the time it would take at minimumRate. Only a
// file that matches is renamed into place, under a free name (an existing file is never
// replaced); anything else is deleted. finished() comes once, after start() has returned,
// with filePath() set on success and errorString() on failure.
class UpdateDownload : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 maxFileSize = qint64(1) << 30;
    static constexpr qint64 minimumRate = 16 * 1024; // bytes per second

    UpdateDownload(Appcast::Item item, QString folder, std::chrono::milliseconds stallTimeout,
                   QObject *parent = nullptr);
    ~UpdateDownload() override;

    void start();
    const Appcast::Item &item() const { return m_item; }
    QString filePath() const { return m_filePath; }
    QString errorString() const { return m_error; }

    // "Veluna-1.2.AppImage", or "Veluna-1.2 (1).AppImage" when that is taken, and so on.
    static QString freeFileName(const QString &folder, const QString &name);

signals:
    void finished();

private:
    QString startError();
    bool write(const QByteArray &chunk);
    void onRequestFinished();
    QString requestError() const;
    QString verificationError() const;
    QString moveIntoPlace();
    void finish(const QString &error);

    Appcast::Item m_item;
    QString m_folder;
    std::chrono::milliseconds m_stallTimeout;
    std::unique_ptr<QTemporaryFile> m_partial;
    QPointer<BoundedRequest> m_request;
    QCryptographicHash m_hash { QCryptographicHash::Sha256 };
    qint64 m_received = 0;
    QString m_filePath;
    QString m_error;
};
