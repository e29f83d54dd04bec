// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/PageClock.h"

#include <cmath>

double PageClock::ageOf(double stampMs, double nowMs) {
    const double gap = nowMs - stampMs;
    if (!std::isfinite(gap)) return 0;
    if (!offset_ || gap < *offset_) offset_ = gap;
    return gap - *offset_;
}
