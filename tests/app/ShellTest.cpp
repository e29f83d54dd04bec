#include "app/Shell.h"
#include "input/Input.h"
#include "input/none/NoneBackend.h"
#include "input/portal/PortalBackend.h"
#include "router/Router.h"
#include "state/AppState.h"
#include "support/FakePortal.h"
#include "support/LogCapture.h"
#include "support/ManualInputClock.h"
#include "support/RecordingBackend.h"
#include "support/Wait.h"
#include "ui/TrayIcon.h"

#include <QMenu>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>

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

    explicit ShellHarness(
        std::unique_ptr<InputBackend> backend = std::make_unique<RecordingBackend>())
        : input(std::move(backend), std::make_unique<ManualInputClock>()) {}

    QMenu* menu() const { return shell.trayIcon()->menu(); }
    QString statusLine() const { return menu()->actions().value(0)->text(); }
    QAction* menuAction(const QString& title) const {
        for (QAction* a : menu()->actions())
            if (a->text() == title) return a;
        return nullptr;
    }
};
}  // namespace

TEST(Shell, theStatusMenuFollowsThePhonesShowsTheCodeAsTypedAndExplainsWhatIsMissing) {
    ShellHarness h(std::make_unique<NoneBackend>("test"));
    h.shell.launch();
    const QString waiting = "⚪️ En attente de connexion", connected = "🟢 iPhone connecté";
    EXPECT_EQ(h.statusLine(), waiting);
    // "&&" is how a menu spells a literal ampersand; the line is information, not a command.
    QAction* codeLine = h.menuAction("Code de jumelage : A&&B");
    ASSERT_NE(codeLine, nullptr);
    EXPECT_FALSE(codeLine->isEnabled());

    h.state.clientConnected();
    h.state.clientConnected();
    ASSERT_TRUE(waitUntil([&] { return h.statusLine() == connected; }));
    h.state.clientDisconnected();
    QCoreApplication::processEvents();
    EXPECT_EQ(h.statusLine(), connected);  // one phone is still there
    h.state.clientDisconnected();
    ASSERT_TRUE(waitUntil([&] { return h.statusLine() == waiting; }));

    // A fixed code stays what it is through "Nouveau code".
    QMenu* before = h.menu();
    h.menuAction("Nouveau code")->trigger();
    ASSERT_TRUE(waitUntil([&] { return h.menu() != before; }));
    EXPECT_TRUE(h.menuAction("Code de jumelage : A&&B"));

    // Nothing can post input here: the item explains what to do.
    h.menuAction(kPermissionItem)->trigger();
    ASSERT_TRUE(waitUntil([&] { return h.shell.inputPermissionWindow().window() != nullptr; }));
    QMessageBox* help = h.shell.inputPermissionWindow().window();
    EXPECT_TRUE(help->isVisible());
    EXPECT_TRUE(help->informativeText().contains("OLVANE_INPUT_BACKEND"));
}

TEST(Shell, aRefusedOrEndedPortalSessionShowsThePermissionItemWhichAsksAgain) {
    FakePortal portal;
    ASSERT_TRUE(portal.running());
    QTemporaryDir dir;
    ShellHarness h(
        std::make_unique<PortalBackend>(portal.bus(), dir.filePath("token"), XKBLayoutNames{}));
    auto asking = [&] { return h.menuAction(kPermissionItem) != nullptr; };

    // Asked for at launch; the user cancels the desktop's dialog.
    h.shell.launch();
    ASSERT_TRUE(waitUntil([&] { return portal.starts() == 1; }));
    EXPECT_FALSE(h.input.trusted());
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

// SIGTERM ends every end-to-end test, and Ctrl+Q the desktop test, on the real binary.
TEST(Shell, sigintEndsThroughTheTerminationPath) {
    LogCapture log;
    ShellHarness h;
    QTimer::singleShot(0, [] { ::raise(SIGINT); });
    EXPECT_EQ(h.shell.run(), 0);
    EXPECT_EQ(log.lines().value(log.lines().size() - 1), "Olvane stopped.");
}
