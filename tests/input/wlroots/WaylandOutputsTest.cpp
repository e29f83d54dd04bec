// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/wlroots/WaylandOutputs.h"

#include <gtest/gtest.h>

// The rectangle the pointer is kept in: the mode over the scale, turned by odd transforms
// (plain or flipped), unless xdg-output told the logical one (a fractional scale).
TEST(WaylandOutputs, anOutputCoversItsModeScaledAndTurnedUnlessItsLogicalRectangleIsKnown) {
    using Geometry = WaylandOutputs::Geometry;
    EXPECT_EQ(Geometry({{1920, 0}, {3840, 2160}, 2, 0, {}}).rect(), QRectF(1920, 0, 1920, 1080));
    EXPECT_EQ(Geometry({{0, 0}, {1920, 1080}, 1, 1, {}}).rect(), QRectF(0, 0, 1080, 1920));
    EXPECT_EQ(Geometry({{0, 0}, {1920, 1080}, 1, 7, {}}).rect(), QRectF(0, 0, 1080, 1920));
    EXPECT_EQ(Geometry({{0, 0}, {2880, 1620}, 2, 0, {0, 0, 1920, 1080}}).rect(),
              QRectF(0, 0, 1920, 1080));
    // A scale that makes no sense counts as 1; without a mode there is no rectangle.
    EXPECT_EQ(Geometry({{0, 0}, {1280, 720}, 0, 0, {}}).rect(), QRectF(0, 0, 1280, 720));
    EXPECT_TRUE(Geometry().rect().isEmpty());
}
