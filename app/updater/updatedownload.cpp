// SPDX-License-Identifier: MIT
#include "updatedownload.h"

#include "boundedrequest.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTimer>

namespace {
constexpr int maxNameAttempts = 100;

// The name the server gives the file, made safe for a folder; "Veluna-<version>" without one.
QString fileNameFor(const Appcast::Item &item)
{
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._+() -]"));
    QString name = item.fileUrl.fileName().replace(unsafe, QStringLiteral("_"));
    while (name.startsWith(u'.'))
        name.remove(0, 1);
    return name.isEmpty() ? QStringLiteral("Veluna-") + item.version : name;
}

// ".tar.gz", ".AppImage"… but not the ".2" of "Veluna-1.2".
qsizetype extensionStart(const QString &name)
{
    static const QRegularExpression extension(
        QStringLiteral("(\\.tar)?\\.[A-Za-z][A-Za-z0-9]{0,9}$"));
    const QRegularExpressionMatch match = extension.match(name);
    return match.hasMatch() && match.capturedStart() > 0 ? match.capturedStart() : name.size();
}
} // namespace

UpdateDownload::UpdateDownload(Appcast::Item item, QString folder,
                               std::chrono::milliseconds stallTimeout, QObject *parent)
    : QObject(parent)
    , m_item(std::move(item))
    , m_folder(std::move(folder))
    , m_stallTimeout(stallTimeout)
{ }

// The request, a child, ends its transfer as it goes.
UpdateDownload::~UpdateDownload() = default;

void UpdateDownload::start()
{
    const QString error = startError();
    if (!error.isEmpty()) {
        QTimer::singleShot(0, this, [this, error] { finish(error); });
        return;
    }
    m_request = BoundedRequest::get(
        m_item.fileUrl,
        { .deadline = m_stallTimeout + std::chrono::seconds(m_item.fileLength / minimumRate),
          .maxBodySize = m_item.fileLength,
          .stallTimeout = m_stallTimeout },
        this);
    m_request->setSink([this](const QByteArray &chunk) { return write(chunk); });
    connect(m_request, &BoundedRequest::finished, this, &UpdateDownload::onRequestFinished);
}

QString UpdateDownload::startError()
{
    if (!m_item.hasVerifiableFile())
        return QStringLiteral("the feed gives no secure address, size and SHA-256 for the file");
    if (m_item.fileLength > maxFileSize)
        return QStringLiteral("the file announced is too large (%1 bytes)").arg(m_item.fileLength);
    if (!QDir().mkpath(m_folder))
        return QStringLiteral("the folder %1 cannot be created").arg(m_folder);
    m_partial = std::make_unique<QTemporaryFile>(m_folder + QStringLiteral("/.veluna-XXXXXX.part"));
    if (!m_partial->open())
        return QStringLiteral("cannot write in %1: %2").arg(m_folder, m_partial->errorString());
    return {};
}

bool UpdateDownload::write(const QByteArray &chunk)
{
    m_received += chunk.size();
    m_hash.addData(chunk);
    return m_partial->write(chunk) == chunk.size();
}

void UpdateDownload::onRequestFinished()
{
    QString error = verificationError();
    if (error.isEmpty())
        error = moveIntoPlace();
    m_request->deleteLater();
    finish(error);
}

QString UpdateDownload::requestError() const
{
    using Failure = BoundedRequest::Failure;
    switch (m_request->failure()) {
    case Failure::None:
        return m_request->networkError() == QNetworkReply::NoError ? QString()
                                                                   : m_request->errorString();
    case Failure::RefusedAddress:
    case Failure::RefusedRedirect:
        return QStringLiteral("the file's address is not secure: %1")
            .arg(m_request->refusedUrl().toDisplayString());
    case Failure::TimedOut:
        return QStringLiteral("the server did not send the file in time");
    case Failure::TooLarge:
        return QStringLiteral("the server sent more than the %1 bytes announced")
            .arg(m_item.fileLength);
    case Failure::Stopped:
        return QStringLiteral("cannot write in %1: %2").arg(m_folder, m_partial->errorString());
    case Failure::Undecodable:
    case Failure::Network:
        break;
    }
    return m_request->errorString();
}

QString UpdateDownload::verificationError() const
{
    if (const QString error = requestError(); !error.isEmpty())
        return error;
    if (m_received != m_item.fileLength)
        return QStringLiteral("received %1 bytes instead of %2")
            .arg(m_received)
            .arg(m_item.fileLength);
    if (m_hash.result() != m_item.fileSha256)
        return QStringLiteral("the file's SHA-256 does not match the feed");
    return {};
}

QString UpdateDownload::moveIntoPlace()
{
    if (!m_partial->flush())
        return QStringLiteral("cannot write in %1: %2").arg(m_folder, m_partial->errorString());
    m_partial->setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                              | QFile::ReadOther);
    // The rename never replaces a file; one that appeared meanwhile only moves us on a name.
    for (int attempt = 0; attempt < maxNameAttempts; ++attempt) {
        const QString target = QDir(m_folder).filePath(freeFileName(m_folder, fileNameFor(m_item)));
        if (m_partial->rename(target)) {
            m_partial->setAutoRemove(false);
            m_filePath = target;
            return {};
        }
        if (!QFileInfo::exists(target))
            break;
    }
    return QStringLiteral("cannot name the file in %1: %2").arg(m_folder, m_partial->errorString());
}

void UpdateDownload::finish(const QString &error)
{
    m_error = error;
    if (!error.isEmpty())
        m_partial.reset();
    emit finished();
}

QString UpdateDownload::freeFileName(const QString &folder, const QString &name)
{
    const QDir dir(folder);
    const qsizetype cut = extensionStart(name);
    QString candidate = name;
    for (int n = 1; dir.exists(candidate) && n <= maxNameAttempts; ++n)
        candidate = name.left(cut) + QStringLiteral(" (%1)").arg(n) + name.mid(cut);
    return candidate;
}
