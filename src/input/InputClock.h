// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

// Time and the 4 ms smoothing ticker for Input; tests replace it to step ticks by hand.
// Every call is made on the input queue.
class InputClock {
public:
    static constexpr int kTickMilliseconds = 4;

    virtual ~InputClock() = default;
    virtual double now() = 0;  // monotonic seconds
    // Runs tick on the input queue at once, then every 4 ms until stopTicker().
    virtual void startTicker(std::function<void()> tick) = 0;
    virtual void stopTicker() = 0;
    // Seconds until the running ticker's next tick.
    virtual double untilNextTick() = 0;
    // Counts the running ticker's next tick a whole period from now.
    virtual void restartTicker() = 0;
};
