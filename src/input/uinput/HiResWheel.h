// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

// One wheel axis of a virtual mouse: scrolled pixels become the kernel's high-resolution wheel
// units (120 per notch), and every 120 units gathered make one notch of the classic wheel for
// programs that read only that. A notch is kPixelsPerNotch pixels, the X11 backend's wheel
// click, so that a swipe scrolls as far on either. A change of direction drops what had
// gathered the other way, as the kernel does for real wheels.
class HiResWheel {
public:
    static constexpr int kUnitsPerNotch = 120;
    static constexpr int kPixelsPerNotch = 50;
    // An absurd amount is cut, as on X11: no more than this many notches in one event.
    static constexpr int kMaxNotchesPerEvent = 32;

    struct Step {
        qint32 units = 0;
        qint32 notches = 0;
    };

    // Pixels in the kernel's direction (up or right positive).
    Step add(qint64 pixels);

private:
    qint64 unitsRemainder_ = 0;  // pixels x 120 not yet a whole unit
    qint64 gathered_ = 0;        // units toward the next notch
    int direction_ = 0;
};
