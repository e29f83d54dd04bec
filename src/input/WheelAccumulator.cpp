// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/WheelAccumulator.h"

#include <algorithm>

WheelAccumulator::WheelAccumulator(int pixelsPerClick, int maxClicks)
    : pixelsPerClick_(pixelsPerClick), maxClicks_(maxClicks) {}

int WheelAccumulator::add(qint32 pixels) {
    if (pixels == 0) return 0;
    if ((gathered_ > 0 && pixels < 0) || (gathered_ < 0 && pixels > 0)) gathered_ = 0;
    gathered_ += pixels;
    const qint64 clicks = gathered_ / pixelsPerClick_;
    gathered_ -= clicks * pixelsPerClick_;
    return int(std::clamp<qint64>(clicks, -maxClicks_, maxClicks_));
}
