#include "app/Shell.h"
#include "input/none/NoneBackend.h"
#include "input/portal/PortalBackend.h"
#include "router/Router.h"
#include "state/AppState.h"
#include "support/DBusFake.h"
#include "support/InputHarness.h"
#include "support/LogCapture.h"
#include "support/Wait.h"
#include "ui/TrayIcon.h"

#include <QMenu>
#include <QMessageBox>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
const QString kPermissionItem = "⚠️ Autoriser l'accessibilité…";

// The shell over a real state (code "A&B") in a temporary folder and an input engine on the
// given backend, with neither Avahi nor Bluetooth.
struct ShellHarness {
    QTemporaryDir dir;
    AppState state{{.wsPort = 0, .fixedCode = "A&B", .tokenFile = dir.filePath("tokens.json")}};
    Input input;
    Router router{state, input, Router::Options()};
    Shell shell{state, input, router, Shell::Options{false, {}}};

    explicit ShellHarness(std::unique_ptr<InputBackend> backend)
        : input(std::move(backend), std::make_unique<ManualInputClock>()) {
        shell.launch();
    }

    QAction* menuAction(const QString& title) const {
        for (QAction* a : shell.trayIcon()->menu()->actions())
            if (a->text() == title) return a;
        return nullptr;
    }
};
}  // namespace

TEST(Shell, theStatusMenuShowsTheCodeAsTypedAndExplainsWhatIsMissing) {
    ShellHarness h(std::make_unique<NoneBackend>("test"));
    // "&&" is how a menu spells a literal ampersand; the line is information, not a command.
    QAction* codeLine = h.menuAction("Code de jumelage : A&&B");
    ASSERT_NE(codeLine, nullptr);
    EXPECT_FALSE(codeLine->isEnabled());
    // Nothing can post input here: the item explains what to do.
    h.menuAction(kPermissionItem)->trigger();
    ASSERT_TRUE(waitUntil([&] { return h.shell.inputPermissionWindow().window() != nullptr; }));
    EXPECT_TRUE(h.shell.inputPermissionWindow().window()->informativeText().contains(
        "OLVANE_INPUT_BACKEND"));
}

// Our portal stand-in, where the user cancels the consent dialog until told otherwise.
TEST(Shell, aRefusedOrEndedPortalSessionShowsThePermissionItemWhichAsksAgain) {
    DBusFake portal("fake_portal", "org.freedesktop.portal.Desktop", "org.olvane.test.FakePortal",
                    {"--refuse"});
    ASSERT_TRUE(portal.running());
    LogCapture log;
    QTemporaryDir dir;
    ShellHarness h(
        std::make_unique<PortalBackend>(portal.bus(), dir.filePath("token"), XKBLayoutNames{}));
    auto asking = [&] { return h.menuAction(kPermissionItem) != nullptr; };
    ASSERT_TRUE(waitUntil(
        [&] { return log.count("Input: remote control was refused on the desktop") == 1; }));
    EXPECT_TRUE(asking());

    // The item asks the desktop again, and goes once the user allows it; no window of ours.
    portal.call("SetStartResponse", {0u});
    h.menuAction(kPermissionItem)->trigger();
    ASSERT_TRUE(waitUntil([&] { return h.input.trusted() && !asking(); }));
    EXPECT_EQ(h.shell.inputPermissionWindow().window(), nullptr);

    // The desktop ends the session: the item is back.
    portal.call("CloseSessions");
    EXPECT_TRUE(waitUntil([&] { return !h.input.trusted() && asking(); }));
}
