// SPDX-License-Identifier: MIT
#pragma once

#include "notifier.h"

// Keeps the notices it is asked to show; a test presses a button with invoke().
class MemoryNotifier : public Notifier
{
    Q_OBJECT

public:
    using Notifier::Notifier;
    void show(const Notice &notice) override { m_shown.append(notice); }
    const QList<Notice> &shown() const { return m_shown; }
    void invoke(const QString &key) { emit actionInvoked(key); }

private:
    QList<Notice> m_shown;
};
