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
    for (const Row& row : rows) {
        int portalProbes = 0, wlrootsProbes = 0, uinputProbes = 0;
        InputSessionFacts facts;
        facts.x11Display = row.display;
        facts.waylandDisplay = row.wayland;
        facts.remoteDesktopPortal = [&] { return ++portalProbes, row.portal; };
        facts.wlrootsVirtualInput = [&] { return ++wlrootsProbes, row.wlroots; };
        facts.uinputWritable = [&] { return ++uinputProbes, row.uinput; };
        const InputBackendChoice choice = chooseInputBackend(facts);
        const QString name = QString::fromLatin1(row.backend);
        SCOPED_TRACE(testing::Message()
                     << row.display << row.wayland << row.portal << row.wlroots << row.uinput);
        EXPECT_EQ(choice.backend, name);
        // Only what comes before the choice is probed, and each is told why it was passed over.
        const QStringList order{"x11", "portal", "wlroots", "uinput", "none"};
        EXPECT_EQ(choice.passedOver.size(), order.indexOf(name));
        EXPECT_EQ(portalProbes, name == "x11" ? 0 : 1);
        EXPECT_EQ(wlrootsProbes, row.wayland && order.indexOf(name) >= 2 ? 1 : 0);
        EXPECT_EQ(uinputProbes, name == "uinput" || name == "none" ? 1 : 0);
        for (int i = 0; i < choice.passedOver.size(); ++i)
            EXPECT_TRUE(choice.passedOver[i].startsWith(order[i] + " ("))
                << choice.passedOver[i].toStdString();
    }
}
