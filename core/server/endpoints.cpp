// SPDX-License-Identifier: MIT
#include "endpoints.h"

#include "endpointtable.h"
#include "networkaccess.h"

#include <optional>

namespace {
constexpr std::size_t kindCount = 3;

std::size_t indexOf(Endpoints::Kind kind)
{
    return static_cast<std::size_t>(kind);
}

QUrl builtInAddress(Endpoints::Kind kind)
{
    const QByteArray text
        = Endpoints::unscramble(EndpointTable::scrambled(kind), EndpointTable::key);
    return Endpoints::allowed(QUrl(QString::fromUtf8(text), QUrl::StrictMode));
}

const std::array<QUrl, kindCount> &builtInAddresses()
{
    static const std::array<QUrl, kindCount> addresses {
        builtInAddress(Endpoints::Kind::Sync),
        builtInAddress(Endpoints::Kind::Report),
        builtInAddress(Endpoints::Kind::Crash),
    };
    return addresses;
}

std::array<std::optional<QUrl>, kindCount> &overrides()
{
    static std::array<std::optional<QUrl>, kindCount> addresses;
    return addresses;
}
} // namespace

QUrl Endpoints::sync()
{
    return url(Kind::Sync);
}

QUrl Endpoints::report()
{
    return url(Kind::Report);
}

QUrl Endpoints::crash()
{
    return url(Kind::Crash);
}

QUrl Endpoints::url(Kind kind)
{
    const std::optional<QUrl> &replacement = overrides()[indexOf(kind)];
    return replacement ? allowed(*replacement) : builtInAddresses()[indexOf(kind)];
}

// Reports carry crash details and identifiers: they never travel in clear text beyond this
// machine.
QUrl Endpoints::allowed(const QUrl &address)
{
    return NetworkAccess::isAllowed(address) ? address : QUrl();
}

QByteArray Endpoints::unscramble(std::span<const quint8> table, const std::array<quint8, 16> &key)
{
    QByteArray text(qsizetype(table.size()), Qt::Uninitialized);
    for (std::size_t i = 0; i < table.size(); ++i)
        text[qsizetype(i)] = char(table[i] ^ key[i % key.size()]);
    return text;
}

void Endpoints::setOverrideForTests(Kind kind, const QUrl &address)
{
    std::optional<QUrl> &replacement = overrides()[indexOf(kind)];
    if (address.isEmpty())
        replacement.reset();
    else
        replacement = address;
}
