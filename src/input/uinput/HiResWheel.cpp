// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/uinput/HiResWheel.h"

#include <algorithm>

HiResWheel::Step HiResWheel::add(qint64 pixels) {
    if (pixels == 0) return {};
    const int direction = pixels > 0 ? 1 : -1;
    if (direction != direction_) {
        direction_ = direction;
        gathered_ = 0;
        unitsRemainder_ = 0;
    }
    constexpr qint64 kMaxUnits = qint64(kMaxNotchesPerEvent) * kUnitsPerNotch;
    const qint64 maxPixels = kMaxUnits * kPixelsPerNotch / kUnitsPerNotch;
    const qint64 scaled =
        std::clamp(pixels, -maxPixels, maxPixels) * kUnitsPerNotch + unitsRemainder_;
    const qint64 units = scaled / kPixelsPerNotch;
    unitsRemainder_ = scaled % kPixelsPerNotch;
    gathered_ += units;
    const qint64 notches = gathered_ / kUnitsPerNotch;
    gathered_ -= notches * kUnitsPerNotch;
    return {qint32(units), qint32(notches)};
}
