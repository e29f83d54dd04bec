// SPDX-License-Identifier: GPL-3.0-or-later
#include "state/PairingGuard.h"

#include <algorithm>
#include <cmath>

PairingGuard::PairingGuard(MonotonicClock clock) : clock_(std::move(clock)) {}

bool PairingGuard::isLockedOut() const {
    return clock_() < lockedUntil_;
}

double PairingGuard::secondsLeft() const {
    return std::max(lockedUntil_ - clock_(), 0.0);
}

std::optional<double> PairingGuard::recordFailure() {
    if (++failures_ < kFailuresPerLockout) return std::nullopt;
    failures_ = 0;
    const double seconds =
        std::min(kFirstLockoutSeconds * std::pow(2.0, lockouts_), kLongestLockoutSeconds);
    lockouts_ = std::min(lockouts_ + 1, 30);
    lockedUntil_ = clock_() + seconds;
    return seconds;
}

void PairingGuard::recordSuccess() {
    failures_ = 0;
    lockouts_ = 0;
}

// Guesses made against the old code tell nothing about the new one: the user who drew it can
// pair at once. Whoever made them may still be trying: the lockout length does not start over.
void PairingGuard::codeChanged(bool differs) {
    failures_ = 0;
    if (differs) lockedUntil_ = 0;
}
