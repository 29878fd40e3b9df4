// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <functional>

// The one way the program writes to the system log (the journal on Linux). Lines start with
// "Veluna: " by convention of the callers. Tests observe the lines through setObserver.
namespace SystemLog {
void write(const QString &line);
void setObserver(std::function<void(const QString &)> observer);
} // namespace SystemLog
