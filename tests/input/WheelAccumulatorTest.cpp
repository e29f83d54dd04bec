#include "input/WheelAccumulator.h"

#include <gtest/gtest.h>

#include <limits>

TEST(WheelAccumulator, pixelsGatherIntoWholeClicksAndTheRestWaits) {
    WheelAccumulator wheel(50, 32);
    EXPECT_EQ(wheel.add(30), 0);
    EXPECT_EQ(wheel.add(30), 1);  // 60: one click, 10 wait
    EXPECT_EQ(wheel.add(40), 1);  // 50
    EXPECT_EQ(wheel.add(149), 2);
    EXPECT_EQ(wheel.add(0), 0);
    EXPECT_EQ(wheel.add(1), 1);  // the 49 left over plus one
    EXPECT_EQ(wheel.add(-120), -2);
}

TEST(WheelAccumulator, aReversalDropsWhatGatheredTheOtherWay) {
    WheelAccumulator wheel(50, 32);
    EXPECT_EQ(wheel.add(45), 0);
    EXPECT_EQ(wheel.add(-10), 0);  // not 35 up: 10 down
    EXPECT_EQ(wheel.add(-40), -1);
    EXPECT_EQ(wheel.add(49), 0);
    EXPECT_EQ(wheel.add(-1), 0);
    EXPECT_EQ(wheel.add(-49), -1);
}

TEST(WheelAccumulator, oneCallNeverYieldsMoreThanTheCapAndTheExcessIsNotKept) {
    WheelAccumulator wheel(50, 32);
    EXPECT_EQ(wheel.add(std::numeric_limits<qint32>::max()), 32);
    EXPECT_EQ(wheel.add(1), 0);
    EXPECT_EQ(wheel.add(std::numeric_limits<qint32>::min()), -32);
    EXPECT_EQ(wheel.add(std::numeric_limits<qint32>::min()), -32);
}
