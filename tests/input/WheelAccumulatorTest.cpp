// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/WheelAccumulator.h"

#include <gtest/gtest.h>

#include <limits>

TEST(WheelAccumulator, pixelsGatherIntoClicksAReversalDropsTheRestAndOneCallIsCapped) {
    constexpr qint32 kMax = std::numeric_limits<qint32>::max(), kMin = -kMax - 1;
    WheelAccumulator wheel(50, 32);
    // Pixels added in turn, and the clicks each gives.
    const QList<QPair<qint32, int>> steps = {{30, 0},    {30, 1},   {40, 1},     {45, 0},
                                             {-10, 0},   {-40, -1}, {49, 0},     {1, 1},
                                             {kMax, 32}, {1, 0},    {kMin, -32}, {kMin, -32}};
    for (auto [pixels, clicks] : steps) EXPECT_EQ(wheel.add(pixels), clicks) << pixels;
}
