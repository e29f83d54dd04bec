// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/InputBackendChoice.h"

#include <gtest/gtest.h>

TEST(InputBackendChoice, aSessionGetsTheFirstBackendThatWorksAndOnlyThoseBeforeItAreProbed) {
    struct Row {
        bool display, wayland, portal, wlroots, uinput;
        const char* backend;
    };
    // X11 only in a pure X11 session; then the portal, then the compositor's virtual devices
    // (asked only in a Wayland session), then uinput, then none.
    const Row rows[] = {
        {1, 0, 1, 1, 1, "x11"},    {1, 1, 0, 0, 0, "none"},    {1, 1, 0, 0, 1, "uinput"},
        {1, 1, 1, 1, 1, "portal"}, {1, 1, 0, 1, 1, "wlroots"}, {0, 1, 0, 1, 0, "wlroots"},
        {0, 1, 1, 0, 1, "portal"}, {0, 0, 0, 0, 0, "none"},    {0, 0, 1, 0, 0, "portal"},
        {0, 0, 0, 1, 1, "uinput"},
    };
    const QStringList order{"x11", "portal", "wlroots", "uinput", "none"};
    for (const Row& row : rows) {
        int probes = 0;  // ones for the portal, tens for wlroots, hundreds for uinput
        InputSessionFacts facts;
        facts.x11Display = row.display;
        facts.waylandDisplay = row.wayland;
        facts.remoteDesktopPortal = [&] { return probes += 1, row.portal; };
        facts.wlrootsVirtualInput = [&] { return probes += 10, row.wlroots; };
        facts.uinputWritable = [&] { return probes += 100, row.uinput; };
        const InputBackendChoice choice = chooseInputBackend(facts);
        const int at = order.indexOf(QString::fromLatin1(row.backend));
        SCOPED_TRACE(testing::Message()
                     << row.display << row.wayland << row.portal << row.wlroots << row.uinput);
        EXPECT_EQ(choice.backend, order.value(at));
        // Only what comes before the choice is probed, and all of it is listed as passed over.
        EXPECT_EQ(probes, (at >= 1) + 10 * (row.wayland && at >= 2) + 100 * (at >= 3));
        EXPECT_EQ(choice.passedOver.size(), at);
    }
}
