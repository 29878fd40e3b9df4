// SPDX-License-Identifier: MIT
#pragma once

#include <QJsonArray>
#include <QList>
#include <QString>
#include <QVariant>

// One listing of the admin command, shown two ways: as aligned columns for the maker (texts
// escaped, times readable, numbers to the right) or as a JSON array of objects for scripts
// (texts as stored, times in Unix seconds, null for none).
class Listing
{
public:
    enum class Kind { Text, Number, Time };
    struct Column
    {
        QString key;
        QString header;
        Kind kind = Kind::Text;
    };

    explicit Listing(QList<Column> columns);
    void addRow(const QVariantList &values);
    bool isEmpty() const { return m_rows.isEmpty(); }

    QString text() const;
    QJsonArray json() const;

private:
    QString cell(int column, const QVariant &value) const;

    QList<Column> m_columns;
    QList<QVariantList> m_rows;
};
