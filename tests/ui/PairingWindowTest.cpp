#include "base/OneShotTimer.h"
#include "state/AppState.h"
#include "support/ListedPrograms.h"
#include "ui/PairingWindow.h"

#include <QLabel>
#include <QMainWindow>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {
// The auto-close timer, fired by the test.
struct ManualTimer : OneShotTimer {
    std::function<void()> task;
    std::chrono::milliseconds delay{0};

    void start(std::chrono::milliseconds d, std::function<void()> t) override {
        delay = d;
        task = std::move(t);
    }
    void cancel() override { task = nullptr; }
    bool active() const override { return bool(task); }
    bool fire() {
        const std::function<void()> t = std::exchange(task, nullptr);
        if (t) t();
        return bool(t);
    }
};

// A window over a real state, refreshed on every change as the shell does, with an
// auto-close timer the test fires by hand.
struct WindowHarness {
    QTemporaryDir dir;
    AppState state;
    ManualTimer* timer = new ManualTimer;
    PairingWindow window{state, QIcon(), std::unique_ptr<OneShotTimer>(timer)};

    explicit WindowHarness(std::optional<QString> fixedCode = std::nullopt)
        : state(AppStateConfig{.fixedCode = fixedCode, .tokenFile = dir.filePath("tokens.json")}) {
        QObject::connect(&state, &AppState::changed, [this] { window.refresh(); });
    }
    bool visible() const { return window.window()->isVisible(); }
    QString status() const { return window.statusText()->text(); }
    QString code() const { return window.codeLabel()->text(); }
};
}  // namespace

TEST(PairingWindow, aPhoneConnectingWhileItIsShownTurnsItGreenAndHidesItAfterTheDelay) {
    WindowHarness h;
    h.window.show();
    h.state.clientConnected();
    EXPECT_EQ(h.status(), "iPhone connecté");
    EXPECT_EQ(h.window.statusDot()->palette().color(QPalette::WindowText), PairingWindow::kGreen);
    EXPECT_EQ(h.timer->delay, 1200ms);
    // A phone leaving within the delay shows "waiting" again, but the window still hides.
    h.state.clientDisconnected();
    EXPECT_EQ(h.status(), "En attente de connexion…");
    ASSERT_TRUE(h.timer->fire());
    EXPECT_FALSE(h.visible());
}

TEST(PairingWindow, shownWhileAPhoneIsConnectedItComesCentredAndStaysUntilShownAgain) {
    WindowHarness h;
    h.state.clientConnected();
    QMainWindow* window = h.window.window();
    window->move(0, 0);
    h.window.show();
    EXPECT_TRUE(h.visible());
    EXPECT_FALSE(h.timer->active());
    const QRect screen = window->screen()->availableGeometry();
    EXPECT_LE((window->frameGeometry().center() - screen.center()).manhattanLength(), 2);

    // Asked for again while on screen, it hides a moment later.
    h.window.show();
    ASSERT_TRUE(h.timer->fire());
    EXPECT_FALSE(h.visible());
}

TEST(PairingWindow, theButtonShowsANewCodeAsPlainText) {
    WindowHarness h;
    const QString first = h.code();
    // Drawn at random, a new code now and then repeats the old one.
    for (int i = 0; i < 5 && h.code() == first; ++i) h.window.newCodeButton()->click();
    EXPECT_NE(h.code(), first);
    EXPECT_EQ(h.code(), h.state.pairingCode());
    // A code from the environment is shown as typed, never read as markup.
    EXPECT_EQ(h.window.codeLabel()->textFormat(), Qt::PlainText);
}

namespace {
QByteArray scanned(WindowHarness& h) {
    const QString image = h.dir.filePath("qr.png");
    if (!h.window.pageQRCode()->grab().save(image)) return {};
    QProcess zbar;
    zbar.start(listedProgram("zbarimg"), {"--quiet", "--raw", image});
    zbar.waitForFinished();
    return zbar.readAllStandardOutput().trimmed();
}
}  // namespace

TEST(PairingWindow, showsThePageAddressWithAQrCodeThatCarriesTheCodeAsTheNetworkChanges) {
    WindowHarness h;
    QMainWindow* window = h.window.window();
    EXPECT_FALSE(h.window.pagePanel()->isVisibleTo(window));  // no server, no page

    QString address = "http://192.168.1.23:8788/";
    h.window.setPageAddressSource([&] { return QUrl(address); });
    h.window.show();
    ASSERT_TRUE(h.window.pagePanel()->isVisible());
    EXPECT_EQ(h.window.pageAddressLabel()->text(), address);
    EXPECT_EQ(scanned(h), (address + "#code=" + h.code()).toUtf8());
    // "Nouveau code" is followed at once.
    const QString before = h.code();
    for (int attempt = 0; attempt < 5 && h.code() == before; ++attempt)
        h.window.newCodeButton()->click();
    EXPECT_EQ(scanned(h), (address + "#code=" + h.code()).toUtf8());

    // The computer moved to another network while the window was hidden.
    address = "http://10.20.30.40:8788/";
    window->hide();
    h.window.show();
    EXPECT_EQ(h.window.pageAddressLabel()->text(), address);
}

TEST(PairingWindow, aFixedCodeOfAnyTextIsEncodedInTheQrCode) {
    // A code fixed in the environment may hold what would end the fragment.
    WindowHarness h(QStringLiteral("4 2+&#é"));
    const QString address = "http://192.168.1.23:8788/";
    h.window.setPageAddressSource([&] { return QUrl(address); });
    h.window.show();
    EXPECT_EQ(scanned(h), address.toUtf8() + "#code=4%202%2B%26%23%C3%A9");
}
