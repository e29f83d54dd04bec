// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/Clock.h"

#include <optional>

// Slows down guessing of the four-digit pairing code. After 5 wrong codes (from any
// connection) every attempt is refused without comparing for 30 s; each further lockout
// doubles that, up to 15 minutes. A right code, or a new code, clears the failure count; a
// code that differs from the last ends the lockout too.
class PairingGuard {
public:
    static constexpr int kFailuresPerLockout = 5;
    static constexpr double kFirstLockoutSeconds = 30;
    static constexpr double kLongestLockoutSeconds = 15 * 60;

    explicit PairingGuard(MonotonicClock clock);

    bool isLockedOut() const;
    // Seconds until attempts are compared again; 0 when not locked.
    double secondsLeft() const;
    // Returns the length of the lockout this failure started, if it started one.
    std::optional<double> recordFailure();
    void recordSuccess();
    void codeChanged(bool differs);

private:
    MonotonicClock clock_;
    int failures_ = 0;
    int lockouts_ = 0;
    double lockedUntil_ = 0;
};
