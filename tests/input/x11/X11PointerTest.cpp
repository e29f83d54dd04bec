// SPDX-License-Identifier: GPL-3.0-or-later
#include "X11Harness.h"

#include <gtest/gtest.h>

// The pointer as the X server has it, read by other clients.

// 200 pixels of wheel drain as 198 (2 stay pending): three clicks of 50. Each reversal starts
// afresh; without that the 48 left over would cost the next one a click.
TEST(X11Pointer, theCursorKeepsToTheMonitorsAndWheelClicksGoToTheFourWheelButtons) {
    X11Harness h(3840, 1080);
    h.run("xdotool", {"mousemove", "1500", "500"});
    h.startInput();
    // Monitors set after start: they are read for every move. No monitor has x 1600 to 1919.
    h.run("xrandr", {"--setmonitor", "LEFT", "1600/423x1080/286+0+0", "screen"});
    h.run("xrandr", {"--setmonitor", "RIGHT", "1920/508x1080/286+1920+0", "none"});

    h.input->moveBy(200, 0);  // into the gap, nearer the left monitor
    h.drain();
    EXPECT_TRUE(h.pointerReaches(1599, 500));

    h.run("xdotool", {"mousemove", "2000", "500"});
    // Long enough after our last move for the cursor to be read again.
    h.clock->advance(*h.input, 1);
    h.input->moveBy(-250, 0);  // into the gap, nearer the right monitor
    h.drain();
    EXPECT_TRUE(h.pointerReaches(1920, 500));

    h.input->moveBy(5000, 40);
    h.drain();
    EXPECT_TRUE(h.pointerReaches(3839, 540));

    for (auto [dx, dy] : {std::pair{0, 200}, {0, -200}, {-200, 0}, {200, 0}}) {
        h.input->scroll(dx, dy);
        h.drain();
    }
    ASSERT_TRUE(h.waitForEvents("raw-button-release", 12));
    EXPECT_EQ(h.events("raw-button-press").join(' '), "4 4 4 5 5 5 7 7 7 6 6 6");
}
