// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

#include <memory>

// Where the machine draws its power from, as the system reports it. The answer may come later
// than the question: until the system has spoken, and on a machine without a battery, state()
// says there is no battery, and the power rules leave every period alone. changed() follows
// every new report.
class PowerSource : public QObject
{
    Q_OBJECT

public:
    struct State
    {
        bool hasBattery = false;
        bool onBattery = false;
        double percentage = 100; // of the charge of all batteries together

        bool operator==(const State &) const = default;
    };

    using QObject::QObject;
    virtual State state() const = 0;

    static std::unique_ptr<PowerSource> createPlatformDefault();

signals:
    void changed();
};
