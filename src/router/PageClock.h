// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

// How late input stamped with a page's own clock arrives. That clock is not ours: the smallest
// gap seen between a stamp and its arrival stands for the clocks' offset plus the quickest
// trip, and a message's age is how much later than that it came. An agent that was frozen
// reads input made long ago, which then shows its age.
class PageClock {
public:
    // Older input is not carried out: whoever made it no longer sees what it would do.
    static constexpr double kStaleAfterMs = 1000;

    // Learns from the stamp, then gives its age in ms; 0 for a stamp that is not a number.
    double ageOf(double stampMs, double nowMs);

private:
    std::optional<double> offset_;
};
