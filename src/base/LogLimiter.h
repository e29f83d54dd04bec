// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/Clock.h"

#include <QHash>
#include <QString>
#include <QStringList>

// Keeps a flood of like lines out of the log. Lines alike (the same text up to their first
// digit: "HTTP: request from 10.0.0.7 ..." whatever the address) pass ten at once, then one
// every six seconds; all lines together, sixty at once, then one a second. The lines held
// back are counted, and the count is written before the next line of their kind that passes
// ("… 1234 similar lines suppressed"), or at the end. Not thread-safe.
class LogLimiter {
public:
    explicit LogLimiter(MonotonicClock clock = systemUptime);

    // The lines to write for this one: none, or the line, after the count of those held back.
    QStringList admit(const QString& line);
    // The counts of every kind still held back.
    QStringList flush();

private:
    struct Bucket {
        double tokens;
        double filledAt;
        qint64 held = 0;
    };
    static QString kindOf(const QString& line);
    static bool take(Bucket& bucket, double capacity, double perSecond, double now);
    static QString summary(const QString& kind, qint64 held);

    MonotonicClock clock_;
    Bucket all_;
    QHash<QString, Bucket> kinds_;
};
