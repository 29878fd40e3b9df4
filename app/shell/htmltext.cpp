#include "htmltext.h"

#include <QHash>
#include <QRegularExpression>

namespace {
const QRegularExpression &anyTag()
{
    static const QRegularExpression pattern(QStringLiteral("<[/!?]?[A-Za-z][^>]*>|<!--.*?-->"),
                                            QRegularExpression::DotMatchesEverythingOption);
    return pattern;
}

QString withoutHiddenBlocks(QString text)
{
    static const QRegularExpression hidden(
        QStringLiteral("<(script|style)\\b[^>]*>.*?</\\1\\s*>|<!--.*?-->"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    return text.remove(hidden);
}

QString withBreaks(QString text)
{
    static const QRegularExpression lineBreak(
        QStringLiteral("<br\\b[^>]*>|</(p|div|li|h[1-6]|ul|ol|tr|blockquote)\\s*>"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression listItem(QStringLiteral("<li\\b[^>]*>"),
                                             QRegularExpression::CaseInsensitiveOption);
    text.replace(lineBreak, QStringLiteral("\n"));
    return text.replace(listItem, QStringLiteral("• "));
}

QString decodedReference(const QString &name)
{
    static const QHash<QString, QString> named { { QStringLiteral("amp"), QStringLiteral("&") },
                                                 { QStringLiteral("lt"), QStringLiteral("<") },
                                                 { QStringLiteral("gt"), QStringLiteral(">") },
                                                 { QStringLiteral("quot"), QStringLiteral("\"") },
                                                 { QStringLiteral("apos"), QStringLiteral("'") },
                                                 { QStringLiteral("nbsp"), QString(QChar(0xa0)) } };
    if (!name.startsWith(u'#'))
        return named.value(name.toLower());
    bool ok = false;
    const bool hex = name.size() > 1 && (name[1] == u'x' || name[1] == u'X');
    const uint code = name.mid(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
    if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return {};
    const char32_t character = code;
    return QString::fromUcs4(&character, 1);
}

QString withDecodedReferences(const QString &text)
{
    static const QRegularExpression reference(
        QStringLiteral("&(#[0-9]{1,7}|#[xX][0-9a-fA-F]{1,6}|[A-Za-z]{2,8});"));
    QString result;
    qsizetype copied = 0;
    for (auto it = reference.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QString decoded = decodedReference(match.captured(1));
        result += QStringView(text).mid(copied, match.capturedStart() - copied);
        result += decoded.isEmpty() ? match.captured(0) : decoded;
        copied = match.capturedEnd();
    }
    return result + text.mid(copied);
}

// HTML whitespace: runs collapse to one space, and only the breaks made from tags remain.
QString tidied(const QString &text)
{
    static const QRegularExpression spaces(QStringLiteral("[ \\t\\r\\f]+"));
    static const QRegularExpression blankLines(QStringLiteral("\\n{3,}"));
    QStringList lines = text.split(u'\n');
    for (QString &line : lines)
        line = line.replace(spaces, QStringLiteral(" ")).trimmed();
    return lines.join(u'\n').replace(blankLines, QStringLiteral("\n\n")).trimmed();
}
} // namespace

QString HtmlText::toPlainText(QStringView html)
{
    QString text = html.toString();
    if (!text.contains(anyTag()))
        return text.trimmed();
    text = withoutHiddenBlocks(text);
    text.replace(u'\n', u' ');
    text = withBreaks(text).remove(anyTag());
    return withDecodedReferences(tidied(text));
}
