// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/KeyPacer.h"

#include <algorithm>
#include <cmath>

int KeyPacer::delayBeforeKey(double now) {
    if (last_ >= 0) allowance_ = std::min(kBurst, allowance_ + (now - last_) * kPerSecond);
    last_ = now;
    if (allowance_ >= 1) {
        allowance_ -= 1;
        return 0;
    }
    return std::max(1, int(std::ceil((1 - allowance_) / kPerSecond * 1000)));
}
