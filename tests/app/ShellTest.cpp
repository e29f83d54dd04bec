// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Shell.h"
#include "input/portal/PortalBackend.h"
#include "router/Router.h"
#include "state/AppState.h"
#include "support/DBusFake.h"
#include "support/InputHarness.h"
#include "support/LogCapture.h"
#include "support/Wait.h"
#include "ui/TrayIcon.h"

#include <QMenu>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// The shell (neither Avahi nor Bluetooth) over a real state with the code "A&B", and an input
// engine on the portal backend, against our portal stand-in where the user cancels the
// consent dialog until told otherwise.
TEST(Shell, aRefusedOrEndedPortalSessionShowsThePermissionItemWhichAsksAgain) {
    DBusFake portal("fake_portal", "org.freedesktop.portal.Desktop", "org.olvane.test.FakePortal",
                    {"--refuse"});
    ASSERT_TRUE(portal.running());
    LogCapture log;
    QTemporaryDir dir;
    AppState state{{.wsPort = 0, .fixedCode = "A&B", .tokenFile = dir.filePath("tokens.json")}};
    Input input(
        std::make_unique<PortalBackend>(portal.bus(), dir.filePath("token"), XKBLayoutNames{}),
        std::make_unique<ManualInputClock>());
    Router router{state, input, Router::Options()};
    Shell shell{state, input, router, Shell::Options{false, {}}};
    shell.launch();
    auto menuAction = [&](const QString& title) -> QAction* {
        for (QAction* a : shell.trayIcon()->menu()->actions())
            if (a->text() == title) return a;
        return nullptr;
    };
    const QString item = "⚠️ Allow accessibility…";
    // "&&" is how a menu spells a literal ampersand.
    EXPECT_TRUE(menuAction("Pairing code: A&&B"));
    ASSERT_TRUE(waitUntil(
        [&] { return log.count("Input: remote control was refused on the desktop") == 1; }));
    EXPECT_TRUE(menuAction(item));

    // The item asks the desktop again, and goes once the user allows it; no window of ours.
    portal.call("SetStartResponse", {0u});
    menuAction(item)->trigger();
    ASSERT_TRUE(waitUntil([&] { return input.trusted() && !menuAction(item); }));
    EXPECT_EQ(shell.inputPermissionWindow().window(), nullptr);

    // The desktop ends the session: the item is back.
    portal.call("CloseSessions");
    EXPECT_TRUE(waitUntil([&] { return !input.trusted() && menuAction(item); }));
}
