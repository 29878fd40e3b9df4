// SPDX-License-Identifier: MIT
#include "listing.h"

#include "terminaltext.h"

#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>

namespace {
QString joined(const QStringList &cells, const QList<qsizetype> &widths, const QList<bool> &right)
{
    QString line;
    for (qsizetype i = 0; i < cells.size(); ++i) {
        const bool last = i + 1 == cells.size();
        if (i > 0)
            line += QStringLiteral("  ");
        if (right[i])
            line += cells[i].rightJustified(widths[i]);
        else
            line += last ? cells[i] : cells[i].leftJustified(widths[i]);
    }
    return line + u'\n';
}
} // namespace

Listing::Listing(QList<Column> columns)
    : m_columns(std::move(columns))
{ }

void Listing::addRow(const QVariantList &values)
{
    m_rows.append(values);
}

QString Listing::cell(int column, const QVariant &value) const
{
    switch (m_columns[column].kind) {
    case Kind::Time:
        return TerminalText::time(value.isNull() ? 0 : value.toLongLong());
    case Kind::Number:
        return QString::number(value.toLongLong());
    case Kind::Text:
        break;
    }
    if (value.metaType().id() == QMetaType::QStringList)
        return TerminalText::escaped(value.toStringList().join(QStringLiteral(", ")));
    return TerminalText::escaped(value.toString());
}

QString Listing::text() const
{
    QList<QStringList> lines { {} };
    QList<bool> right;
    for (const Column &column : m_columns) {
        lines.first().append(column.header);
        right.append(column.kind == Kind::Number);
    }
    for (const QVariantList &row : m_rows) {
        QStringList &cells = lines.emplace_back();
        for (int i = 0; i < m_columns.size(); ++i)
            cells.append(cell(i, row.value(i)));
    }
    QList<qsizetype> widths(m_columns.size(), 0);
    for (const QStringList &cells : lines)
        for (int i = 0; i < cells.size(); ++i)
            widths[i] = std::max(widths[i], cells[i].size());
    QString shown;
    for (const QStringList &cells : lines)
        shown += joined(cells, widths, right);
    return shown;
}

QJsonArray Listing::json() const
{
    QJsonArray array;
    for (const QVariantList &row : m_rows) {
        QJsonObject object;
        for (int i = 0; i < m_columns.size(); ++i) {
            const QVariant value = row.value(i);
            object.insert(m_columns[i].key,
                          value.isNull() ? QJsonValue() : QJsonValue::fromVariant(value));
        }
        array.append(object);
    }
    return array;
}
