// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

// Turns pixel scrolling into whole wheel clicks for window systems that only know clicks.
// Pixels add up on one axis; every pixelsPerClick of them make one click. A change of direction
// drops what had gathered the other way, so a reversal answers at once. One call never yields
// more than maxClicks clicks: an absurd amount is cut, not queued.
class WheelAccumulator {
public:
    WheelAccumulator(int pixelsPerClick, int maxClicks);

    // Adds a scroll (the sign is the direction); returns the signed number of clicks due now.
    int add(qint32 pixels);

private:
    const int pixelsPerClick_;
    const int maxClicks_;
    qint64 gathered_ = 0;
};
