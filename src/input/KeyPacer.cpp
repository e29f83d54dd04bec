// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/KeyPacer.h"

#include <algorithm>
#include <cmath>

KeyPacer::KeyPacer() : KeyPacer(Pace{}) {}

void KeyPacer::setPace(Pace pace) {
    pace_ = pace;
    allowance_ = std::min(allowance_, pace.burst);
}

int KeyPacer::delayBeforeKey(double now) {
    if (last_ >= 0)
        allowance_ = std::min(pace_.burst, allowance_ + (now - last_) * pace_.perSecond);
    last_ = now;
    if (allowance_ >= 1) {
        allowance_ -= 1;
        return 0;
    }
    return std::max(1, int(std::ceil((1 - allowance_) / pace_.perSecond * 1000)));
}
