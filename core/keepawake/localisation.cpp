// SPDX-License-Identifier: MIT
#include "localisation.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTranslator>

#include <memory>

namespace {
struct Tables
{
    std::unique_ptr<QTranslator> english;
    std::unique_ptr<QTranslator> user;
    bool installed = false;
};

Tables &tables()
{
    static Tables instance;
    return instance;
}

std::unique_ptr<QTranslator> loadTable(const QString &path)
{
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(path))
        return nullptr;
    QCoreApplication::installTranslator(translator.get());
    return translator;
}

void ensureInstalled()
{
    if (!tables().installed && QCoreApplication::instance())
        Localisation::install(QStringLiteral(":/i18n"), QStringLiteral("veluna"), QLocale());
}

QString formatArgument(const QVariant &arg, QChar conversion)
{
    if (conversion == u'@' || conversion == u's')
        return arg.toString();
    return QString::number(arg.toLongLong());
}

const QRegularExpression &specifier()
{
    static const QRegularExpression pattern(
        QStringLiteral("%(?:%|(?:([1-9][0-9]*)\\$)?(?:hh|h|ll|l|q|z|j|t)?([diu@s]))"));
    return pattern;
}
} // namespace

void Localisation::install(const QString &resourceDir, const QString &baseName,
                           const QLocale &locale)
{
    Tables &t = tables();
    t.user.reset();
    t.english.reset();
    t.installed = true;
    // The translator installed last is asked first, so English goes in before the user's.
    t.english = loadTable(resourceDir + u'/' + baseName + QStringLiteral("_en.qm"));
    if (locale.language() == QLocale::English)
        return;
    auto user = std::make_unique<QTranslator>();
    if (user->load(locale, baseName, QStringLiteral("_"), resourceDir)) {
        QCoreApplication::installTranslator(user.get());
        t.user = std::move(user);
    }
}

QString Localisation::lookup(const QString &key)
{
    ensureInstalled();
    return qtTrId(key.toUtf8().constData());
}

QString Localisation::format(const QString &pattern, const QVariantList &args)
{
    QString result;
    qsizetype copied = 0;
    qsizetype next = 0;
    auto it = specifier().globalMatch(pattern);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        result += QStringView(pattern).mid(copied, match.capturedStart() - copied);
        copied = match.capturedEnd();
        if (match.captured(0) == QLatin1String("%%")) {
            result += u'%';
            continue;
        }
        const qsizetype index = match.hasCaptured(1) ? match.captured(1).toLongLong() - 1 : next++;
        result += index < args.size() ? formatArgument(args.at(index), match.captured(2).at(0))
                                      : match.captured(0);
    }
    result += QStringView(pattern).mid(copied);
    return result;
}

QString L(const QString &key)
{
    return Localisation::lookup(key);
}
