// SPDX-License-Identifier: MIT
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QTextStream>

class Listing;

// Where the commands write: standard output as text or, with --json, as one JSON document;
// errors always as a line on standard error.
class AdminOutput
{
public:
    explicit AdminOutput(bool json);

    bool isJson() const { return m_json; }
    void print(const Listing &listing);
    // Plain text, written as given: the caller has escaped what came from the database.
    void print(const QString &text);
    void print(const QJsonObject &object);
    void error(const QString &message);

private:
    bool m_json;
    QTextStream m_out;
    QTextStream m_err;
};
