// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/uinput/HiResWheel.h"

#include <gtest/gtest.h>

// A pixel is 2.4 units, 120 units a notch; fractions carry over, a reversal drops what had
// gathered, and one step makes 32 notches at most.
TEST(HiResWheel, pixelsAddUpToUnitsAndNotchesAndAReversalStartsAfresh) {
    HiResWheel wheel;
    QStringList steps;
    for (qint64 pixels : {1, 1, 1, 1, 1, 45, 40, -1, 40, 40, -1000000000}) {
        const HiResWheel::Step step = wheel.add(pixels);
        steps << QStringLiteral("%1/%2").arg(step.units).arg(step.notches);
    }
    EXPECT_EQ(steps.join(' '), "2/0 2/0 3/0 2/0 3/0 108/1 96/0 -2/0 96/0 96/1 -3840/-32");
}
