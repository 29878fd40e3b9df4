// SPDX-License-Identifier: MIT
#pragma once

#include <QPushButton>

// A borderless button that shows one of our symbols in the secondary text colour, redrawn
// when the theme changes. Its tooltip doubles as its accessible name.
class SymbolButton : public QPushButton
{
    Q_OBJECT

public:
    SymbolButton(const QString &symbolPath, int pointSize, const QString &toolTip,
                 QWidget *parent = nullptr);

    // Draws the symbol in the accent colour, to call attention to it.
    void setAccent(bool accent);

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refreshIcon();

    QString m_symbolPath;
    bool m_accent = false;
    QColor m_tint;
};
