// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/ScreenClamp.h"

#include <gtest/gtest.h>

namespace {
const QRectF kLeft(0, 0, 1920, 1080);
const QRectF kRight(2000, 0, 1920, 1080);  // an 80-point gap between the two
}  // namespace

// The gap's nearer display, and the cursor kept to the monitors, are shown on an X server.
TEST(ScreenClamp, bringsPointsOffEveryDisplayOneUnitInsideAndTiesGoToTheFirstListed) {
    EXPECT_EQ(clampToScreens({2500, -40}, {kLeft, kRight}), QPointF(2500, 0));
    EXPECT_EQ(clampToScreens({1920, 500}, {kLeft}), QPointF(1919, 500));
    EXPECT_EQ(clampToScreens({-3, 7}, {}), QPointF(-3, 7));
    // So far away that the distance's square is beyond any double.
    EXPECT_EQ(clampToScreens({-15, 9e187}, {kLeft, kRight}), QPointF(0, 1079));
    EXPECT_EQ(clampToScreens({-1.7e308, -1.7e308}, {kLeft}), QPointF(0, 0));
    // 1959.5 is 40.5 from 1919 and 40.5 from 2000.
    EXPECT_EQ(clampToScreens({1959.5, 100}, {kLeft, kRight}), QPointF(1919, 100));
    EXPECT_EQ(clampToScreens({1959.5, 100}, {kRight, kLeft}), QPointF(2000, 100));
}
