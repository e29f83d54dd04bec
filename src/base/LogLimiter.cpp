// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/LogLimiter.h"

#include <algorithm>

namespace {
constexpr double kBurstOfAKind = 10;
constexpr double kKindPerSecond = 1.0 / 6;
constexpr double kBurstOfAll = 60;
constexpr double kAllPerSecond = 1;
constexpr qsizetype kLongestKind = 40;
// Past this many kinds (an attacker may vary a line's start), new kinds share one count.
constexpr qsizetype kMostKinds = 256;
}  // namespace

LogLimiter::LogLimiter(MonotonicClock clock)
    : clock_(std::move(clock)), all_{kBurstOfAll, clock_()} {}

QString LogLimiter::kindOf(const QString& line) {
    qsizetype end = 0;
    while (end < line.size() && end < kLongestKind && !line[end].isDigit()) ++end;
    return line.first(end);
}

bool LogLimiter::take(Bucket& bucket, double capacity, double perSecond, double now) {
    bucket.tokens = std::min(capacity, bucket.tokens + (now - bucket.filledAt) * perSecond);
    bucket.filledAt = now;
    if (bucket.tokens < 1) return false;
    bucket.tokens -= 1;
    return true;
}

QString LogLimiter::summary(const QString& kind, qint64 held) {
    return QStringLiteral("… %1 similar lines suppressed: \"%2…\"").arg(held).arg(kind);
}

QStringList LogLimiter::admit(const QString& line) {
    const double now = clock_();
    QString kind = kindOf(line);
    if (!kinds_.contains(kind) && kinds_.size() >= kMostKinds) kind = QStringLiteral("(other)");
    auto found = kinds_.find(kind);
    if (found == kinds_.end()) found = kinds_.insert(kind, Bucket{kBurstOfAKind, now});
    Bucket& bucket = *found;
    // Both limits must allow the line; a line the first refuses does not use up the second.
    if (!take(bucket, kBurstOfAKind, kKindPerSecond, now) ||
        !take(all_, kBurstOfAll, kAllPerSecond, now)) {
        ++bucket.held;
        return {};
    }
    QStringList out;
    if (bucket.held > 0) out << summary(kind, std::exchange(bucket.held, 0));
    out << line;
    return out;
}

QStringList LogLimiter::flush() {
    QStringList out;
    for (auto it = kinds_.begin(); it != kinds_.end(); ++it)
        if (it->held > 0) out << summary(it.key(), std::exchange(it->held, 0));
    return out;
}
