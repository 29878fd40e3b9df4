#pragma once

#include <QString>
#include <QStringView>

// Turns the small HTML of release notes into plain text for a plain-text view: tags go (line
// and paragraph breaks and list items become line breaks, scripts and styles vanish with their
// content), character references are decoded, so "&lt;b&gt;" reads as a literal "<b>". Text
// without any tag is taken as plain text and only trimmed. Nothing is ever interpreted as markup
// by a widget afterwards, and nothing is fetched.
namespace HtmlText {
QString toPlainText(QStringView html);
} // namespace HtmlText
