#include "X11Harness.h"
#include "input/x11/X11Backend.h"
#include "support/RecordingWindow.h"

#include <gtest/gtest.h>

// The pointer as the X server has it, read by other clients.

TEST(X11Pointer, theCursorStopsAtTheRightEdgeAndLeavesTheGapBetweenMonitors) {
    X11Harness h(3840, 1080);
    h.setPointer({1500, 500});
    h.startInput();
    // Monitors changed after start: the displays are read for every move. The screen between
    // x 1600 and 1920 belongs to no monitor.
    h.server.run("xrandr", {"--setmonitor", "LEFT", "1600/423x1080/286+0+0", "screen"});
    h.server.run("xrandr", {"--setmonitor", "RIGHT", "1920/508x1080/286+1920+0", "none"});

    h.input->moveBy(200, 0);  // into the gap, nearer the left monitor
    h.drain();
    EXPECT_TRUE(h.pointerReaches({1599, 500}));

    h.setPointer({2000, 500});
    h.clock->advance(1);       // long enough after our last move for the cursor to be read again
    h.input->moveBy(-250, 0);  // into the gap, nearer the right monitor
    h.drain();
    EXPECT_TRUE(h.pointerReaches({1920, 500}));

    h.input->moveBy(5000, 40);
    h.drain();
    EXPECT_TRUE(h.pointerReaches({3839, 540}));
}

TEST(X11Pointer, dragsAndWheelClicksReachTheServer) {
    X11Harness h;
    RecordingWindow window(h.server);
    ASSERT_TRUE(window.ready());
    h.setPointer({300, 200});
    h.startInput();

    h.input->dragState(true);
    h.input->moveBy(60, 0);
    h.drain();
    h.input->dragState(false);
    ASSERT_TRUE(window.waitForEvents("button-release", 1));
    const QStringList lines = window.lines();
    const qsizetype press = lines.indexOf("button-press 1 300 200");
    const qsizetype release = lines.indexOf("button-release 1 360 200");
    ASSERT_GE(press, 0);
    ASSERT_GT(release, press);
    EXPECT_TRUE(lines.mid(press, release - press).contains("raw-motion"));
    EXPECT_TRUE(lines.mid(press, release - press).contains("motion 360 200"));

    // 200 pixels drain as 198 posted (2 stay pending in Input): three clicks of 50. Each
    // reversal starts afresh; without that the 48 left over would cost the next one a click.
    window.clear();
    for (auto [dx, dy] : {std::pair{0, 200}, {0, -200}, {-200, 0}, {200, 0}}) {
        h.input->scroll(dx, dy);
        h.drain();
    }
    ASSERT_TRUE(window.waitForEvents("raw-button-release", 12));
    EXPECT_EQ(window.events("raw-button-press").join(' '), "4 4 4 5 5 5 7 7 7 6 6 6");
}
