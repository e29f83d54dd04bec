// SPDX-License-Identifier: GPL-3.0-or-later
#include "state/AppState.h"
#include "support/ListedPrograms.h"
#include "support/Wait.h"
#include "ui/MenuModel.h"
#include "ui/PairingWindow.h"

#include <QLabel>
#include <QMainWindow>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
// A window over a real state with a code fixed in the environment, refreshed on every change
// as the shell does.
struct WindowHarness {
    QTemporaryDir dir;
    AppState state{{.fixedCode = "4 2+&#é", .tokenFile = dir.filePath("tokens.json")}};
    PairingWindow window{state, QIcon()};
    QString address = "http://192.168.1.23:8788/";

    WindowHarness() {
        QObject::connect(&state, &AppState::changed, [this] { window.refresh(); });
        window.setPageAddressSource([this] { return QUrl(address); });
    }
    QString status() const { return window.statusText()->text(); }
    QByteArray scannedQRCode() const {
        const QString image = dir.filePath("qr.png");
        if (!window.pageQRCode()->grab().save(image)) return {};
        QProcess zbar;
        zbar.start(listedProgram("zbarimg"), {"--quiet", "--raw", image});
        zbar.waitForFinished();
        return zbar.readAllStandardOutput().trimmed();
    }
};
}  // namespace

// A code fixed in the environment may hold markup, or what would end the fragment.
TEST(PairingWindow, showsAnyCodeInItsQrCodeFollowsTheNetworkAndHidesOnceAPhoneConnects) {
    WindowHarness h;
    h.window.show();
    EXPECT_EQ(h.window.codeLabel()->textFormat(), Qt::PlainText);
    EXPECT_EQ(h.scannedQRCode(), h.address.toUtf8() + "#code=4%202%2B%26%23%C3%A9");
    // The computer moved to another network while the window was hidden.
    h.address = "http://10.20.30.40:8788/";
    h.window.window()->hide();
    h.window.show();
    EXPECT_EQ(h.window.pageAddressLabel()->text(), h.address);

    h.state.clientConnected();
    EXPECT_EQ(h.status(), "Phone connected");
    EXPECT_EQ(h.window.statusDot()->palette().color(QPalette::WindowText), PairingWindow::kGreen);
    // A phone leaving within the delay shows "waiting" again, but the window still hides.
    h.state.clientDisconnected();
    EXPECT_EQ(h.status(), "Waiting for connection…");
    EXPECT_TRUE(h.window.window()->isVisible());
    EXPECT_TRUE(waitUntil([&] { return !h.window.window()->isVisible(); }));
}

// Another program holds the port: the code cannot be used, and the user is told by whom.
TEST(PairingWindow, andTheTrayMenuSayWhoHoldsThePortWhileNoPhoneCanReachIt) {
    WindowHarness h;
    const PortTrouble trouble{8788, true, 65534, "nobody"};
    h.state.setPortTrouble(trouble);
    EXPECT_EQ(h.status(), "Unreachable over the network");
    EXPECT_EQ(h.window.hint()->text(), "Port 8788 taken by nobody (uid 65534)");
    EXPECT_TRUE(MenuModel::statusMenu(0, "1234", true, trouble)
                    .contains(MenuItem{"🔴 Port 8788 taken by nobody (uid 65534)", {}, {}}));
    h.state.setPortTrouble(std::nullopt);
    EXPECT_EQ(h.status(), "Waiting for connection…");
    EXPECT_NE(h.window.hint()->text(), "Port 8788 taken by nobody (uid 65534)");
}
