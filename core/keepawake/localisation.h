// SPDX-License-Identifier: MIT
#pragma once

#include <QLocale>
#include <QString>
#include <QVariantList>

// Every visible text goes through L(key): the user's language first, then English, then the
// key itself. The tables are Qt id-based translations compiled into the program. L(key, args)
// fills the text as a printf-style format (%lld, %d, %@, %s, positional %1$lld, %%) without
// any locale, from a typed argument list, so a faulty translation can never read a missing
// or mistyped argument.
namespace Localisation {
QString lookup(const QString &key);
QString format(const QString &pattern, const QVariantList &args);

// Installs the tables "<baseName>_en" and "<baseName>_<language>" found under resourceDir for
// the given locale, replacing any installed before. The program's own tables are installed
// on first lookup.
void install(const QString &resourceDir, const QString &baseName, const QLocale &locale);
} // namespace Localisation

QString L(const QString &key);
inline QString L(const char *key) { return L(QString::fromLatin1(key)); }

template<typename... Args> QString L(const QString &key, const Args &...args)
{
    return Localisation::format(Localisation::lookup(key), QVariantList { QVariant(args)... });
}
