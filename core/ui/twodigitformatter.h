// SPDX-License-Identifier: MIT
#pragma once

#include <QValidator>

// Keeps a field to the empty text or one or two ASCII digits whose value is at most the
// maximum (leading zeros allowed). Edits that would break this are refused as typed.
class TwoDigitFormatter : public QValidator
{
    Q_OBJECT

public:
    explicit TwoDigitFormatter(qint64 maximum, QObject *parent = nullptr);

    qint64 maximum() const { return m_maximum; }
    State validate(QString &input, int &position) const override;
    bool isPartialStringValid(const QString &text) const;

private:
    qint64 m_maximum;
};
