// SPDX-License-Identifier: MIT
#include "crashsignature.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QStringList>

namespace {

struct Rule
{
    QRegularExpression pattern;
    QString replacement;
};

// In this order: offsets before bare addresses (so "+0x1a" goes as a whole), paths down to the
// file name, then line and column numbers that followed a file name.
const QList<Rule> &rules()
{
    static const QList<Rule> list = {
        { QRegularExpression(QStringLiteral("\\[0x[0-9a-fA-F]+\\]")), QString() },
        { QRegularExpression(QStringLiteral("\\+\\s*(0x[0-9a-fA-F]+|\\d+)\\b")), QString() },
        { QRegularExpression(QStringLiteral("\\b0x[0-9a-fA-F]+\\b")), QString() },
        { QRegularExpression(QStringLiteral("(?:[A-Za-z]:)?(?:[^\\s()\\[\\]/\\\\:]*[/\\\\])+")),
          QString() },
        { QRegularExpression(QStringLiteral(":\\d+(?::\\d+)?\\b")), QString() },
        { QRegularExpression(QStringLiteral("^#?\\d+\\s+")), QString() },
        { QRegularExpression(QStringLiteral("\\s+")), QStringLiteral(" ") },
    };
    return list;
}

} // namespace

QString CrashSignature::normalised(const QString &line)
{
    QString text = line.trimmed();
    for (const Rule &rule : rules())
        text.replace(rule.pattern, rule.replacement);
    return text.trimmed();
}

QString CrashSignature::of(const QString &kind, const QString &message, const QString &stack)
{
    QStringList parts { kind, normalised(message) };
    const QStringList lines = stack.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QString frame = normalised(line);
        if (!frame.isEmpty() && parts.size() < 2 + frames)
            parts << frame;
    }
    // A separator that no normalised line holds keeps "a" + "bc" apart from "ab" + "c".
    const QByteArray joined = parts.join(QChar(0)).toUtf8();
    return QString::fromLatin1(
        QCryptographicHash::hash(joined, QCryptographicHash::Sha256).toHex());
}
