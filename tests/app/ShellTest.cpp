#include "app/ShellHarness.h"
#include "input/none/NoneBackend.h"
#include "input/portal/PortalBackend.h"
#include "support/FakePortal.h"
#include "support/LogCapture.h"
#include "support/Wait.h"
#include "transport/WSServer.h"
#include "ui/PairingWindow.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>

#include <gtest/gtest.h>

namespace {
QString codeLine(const ShellHarness& h) {
    return h.menuTitles().value(2);
}
}  // namespace

TEST(Shell, launchStartsTheServersShowsTheWindowAndLogsTheCodeLast) {
    LogCapture log;
    ShellHarness h;
    h.shell->launch();

    ASSERT_NE(h.shell->wsServer(), nullptr);
    EXPECT_NE(h.shell->wsServer()->port(), 0);
    ASSERT_NE(h.shell->pairingWindow(), nullptr);
    EXPECT_TRUE(h.shell->pairingWindow()->window()->isVisible());
    EXPECT_EQ(h.shell->pairingWindow()->codeLabel()->text(), "0042");
    EXPECT_EQ(h.menuTitles().size(), 7);

    // The main menu rides in the pairing window, where the desktop shows none of its own.
    QMenuBar* bar = h.shell->pairingWindow()->window()->menuBar();
    ASSERT_EQ(bar, h.shell->mainMenu());
    QStringList menus;
    for (QAction* a : bar->actions()) menus << a->text();
    EXPECT_EQ(menus, QStringList({"Olvane", "Fenêtre"}));

    const QStringList lines = log.lines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.contains(QString("WS server on port %1").arg(h.shell->wsServer()->port())));
    EXPECT_EQ(lines.last(), "Olvane started. code: 0042  ax: true");
}

TEST(Shell, theMenuFollowsConnectionsThroughTheChangeCallback) {
    ShellHarness h;
    h.shell->launch();
    EXPECT_EQ(h.menuTitles().first(), "⚪️ En attente de connexion");

    h.state->clientConnected();
    ASSERT_TRUE(waitUntil([&] { return h.menuTitles().first() == "🟢 iPhone connecté"; }));
    h.state->clientConnected();
    h.state->clientDisconnected();
    QMenu* before = h.menu();
    ASSERT_TRUE(waitUntil([&] { return h.menu() != before; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(h.menuTitles().first(), "🟢 iPhone connecté");

    h.state->clientDisconnected();
    ASSERT_TRUE(
        waitUntil([&] { return h.menuTitles().first() == "⚪️ En attente de connexion"; }));
}

TEST(Shell, newCodeFromTheMenuShowsInTheCodeLineOnceTheCallbackRan) {
    ShellHarness::Setup setup;
    setup.fixedCode = std::nullopt;
    ShellHarness h(std::move(setup));
    h.shell->launch();
    const QString first = h.state->pairingCode();
    EXPECT_EQ(codeLine(h), "Code de jumelage : " + first);

    QMenu* before = h.menu();
    h.menuAction("Nouveau code")->trigger();
    // The rebuild is posted: the menu on screen is still the old one right after the action.
    EXPECT_EQ(h.menu(), before);
    EXPECT_EQ(codeLine(h), "Code de jumelage : " + first);
    ASSERT_TRUE(waitUntil([&] { return h.menu() != before; }));
    EXPECT_EQ(codeLine(h), "Code de jumelage : " + h.state->pairingCode());
    EXPECT_EQ(h.shell->pairingWindow()->codeLabel()->text(), h.state->pairingCode());
}

TEST(Shell, withAFixedCodeNewCodeRebuildsTheMenuWithTheSameCode) {
    ShellHarness h;
    h.shell->launch();
    QMenu* before = h.menu();
    h.menuAction("Nouveau code")->trigger();
    ASSERT_TRUE(waitUntil([&] { return h.menu() != before; }));
    EXPECT_EQ(codeLine(h), "Code de jumelage : 0042");
}

TEST(Shell, anUntrustedBackendGetsThePermissionItemAndItsExplanation) {
    LogCapture log;
    ShellHarness::Setup setup;
    setup.backend = std::make_unique<NoneBackend>("test");
    ShellHarness h(std::move(setup));
    h.shell->launch();
    EXPECT_EQ(h.menuTitles().size(), 9);
    EXPECT_EQ(log.lines().last(), "Olvane started. code: 0042  ax: false");

    QAction* permission = h.menuAction("⚠️ Autoriser l'accessibilité…");
    ASSERT_NE(permission, nullptr);
    permission->trigger();
    ASSERT_TRUE(waitUntil([&] { return h.shell->inputPermissionWindow().window() != nullptr; }));
    QMessageBox* help = h.shell->inputPermissionWindow().window();
    EXPECT_TRUE(help->isVisible());
    EXPECT_TRUE(help->informativeText().contains("OLVANE_INPUT_BACKEND"));
}

TEST(Shell, aRefusedOrEndedPortalSessionShowsThePermissionItemWhichAsksAgain) {
    FakePortal portal(FakePortal::Options{true});
    ASSERT_TRUE(portal.running());
    QTemporaryDir dir;
    ShellHarness::Setup setup;
    setup.backend =
        std::make_unique<PortalBackend>(portal.bus(), dir.filePath("token"), XKBLayoutNames{});
    ShellHarness h(std::move(setup));
    const QString item = "⚠️ Autoriser l'accessibilité…";
    auto asking = [&] { return h.menuAction(item) != nullptr; };

    // Asked for at launch; the user cancels the desktop's dialog.
    h.shell->launch();
    ASSERT_TRUE(waitUntil([&] { return portal.callsOf("Start").size() == 1; }));
    EXPECT_FALSE(h.input->trusted());
    EXPECT_TRUE(asking());

    // The item asks the desktop again, and goes once the user allows it; no window of ours.
    portal.setStartResponse(0);
    h.menuAction(item)->trigger();
    ASSERT_TRUE(waitUntil([&] { return h.input->trusted() && !asking(); }));
    EXPECT_EQ(portal.callsOf("CreateSession").size(), 2);
    EXPECT_EQ(h.shell->inputPermissionWindow().window(), nullptr);

    // The desktop ends the session: "ax" is false and the item is back.
    portal.closeSessions();
    ASSERT_TRUE(waitUntil([&] { return !h.input->trusted() && asking(); }));
}

TEST(Shell, sigtermAndSigintEndThroughTheTerminationPath) {
    for (int signal : {SIGTERM, SIGINT}) {
        LogCapture log;
        ShellHarness h;
        QTimer::singleShot(0, [signal] { ::raise(signal); });
        EXPECT_EQ(h.shell->run(), 0);
        const QStringList lines = log.lines();
        EXPECT_TRUE(lines.contains(signal == SIGTERM ? "SIGTERM received; quitting"
                                                     : "SIGINT received; quitting"));
        EXPECT_EQ(lines.last(), "Olvane stopped.");
    }
}

TEST(Shell, quittingFromTheStatusMenuTakesTheSamePath) {
    ShellHarness h;
    QTimer::singleShot(0, [&] { h.menuAction("Quitter Olvane")->trigger(); });
    EXPECT_EQ(h.shell->run(), 0);
}
