#include "input/InputBackendChoice.h"

#include <gtest/gtest.h>

TEST(InputBackendChoice, everyCombinationOfSessionPortalAndUinput) {
    struct Row {
        bool display, wayland, portal, uinput;
        const char* backend;
    };
    // X11 only in a pure X11 session; then the portal, then uinput, then none.
    const Row rows[] = {
        {true, false, false, false, "x11"},    {true, false, false, true, "x11"},
        {true, false, true, false, "x11"},     {true, false, true, true, "x11"},
        {true, true, false, false, "none"},    {true, true, false, true, "uinput"},
        {true, true, true, false, "portal"},   {true, true, true, true, "portal"},
        {false, true, false, false, "none"},   {false, true, false, true, "uinput"},
        {false, true, true, false, "portal"},  {false, true, true, true, "portal"},
        {false, false, false, false, "none"},  {false, false, false, true, "uinput"},
        {false, false, true, false, "portal"}, {false, false, true, true, "portal"},
    };
    for (const Row& row : rows) {
        int portalProbes = 0, uinputProbes = 0;
        InputSessionFacts facts;
        facts.x11Display = row.display;
        facts.waylandDisplay = row.wayland;
        facts.remoteDesktopPortal = [&] { return ++portalProbes, row.portal; };
        facts.uinputWritable = [&] { return ++uinputProbes, row.uinput; };
        const InputBackendChoice choice = chooseInputBackend(facts);
        const QString name = QString::fromLatin1(row.backend);
        SCOPED_TRACE(testing::Message() << row.display << row.wayland << row.portal << row.uinput);
        EXPECT_EQ(choice.backend, name);
        // Only what comes before the choice is probed, and each is told why it was passed over.
        const QStringList order{"x11", "portal", "uinput", "none"};
        EXPECT_EQ(choice.passedOver.size(), order.indexOf(name));
        EXPECT_EQ(portalProbes, name == "x11" ? 0 : 1);
        EXPECT_EQ(uinputProbes, name == "uinput" || name == "none" ? 1 : 0);
        for (int i = 0; i < choice.passedOver.size(); ++i)
            EXPECT_TRUE(choice.passedOver[i].startsWith(order[i] + " ("))
                << choice.passedOver[i].toStdString();
    }
}
