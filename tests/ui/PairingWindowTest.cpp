#include "state/AppState.h"
#include "support/ManualTimer.h"
#include "support/Wait.h"
#include "ui/PairingWindow.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {
// A window over a real state, refreshed by the state's change callback as the shell does,
// with a timer the test fires by hand.
struct WindowHarness {
    QTemporaryDir dir;
    std::unique_ptr<AppState> state;
    ManualTimer* timer;
    std::unique_ptr<PairingWindow> window;
    int changes = 0;
    QObject receiver;

    explicit WindowHarness(std::optional<QString> fixedCode = std::nullopt) {
        AppStateConfig c;
        c.tokenFile = dir.filePath("tokens.json");
        c.fixedCode = fixedCode;
        state = std::make_unique<AppState>(c);
        auto manual = std::make_unique<ManualTimer>();
        timer = manual.get();
        window = std::make_unique<PairingWindow>(*state, QIcon(), std::move(manual));
        QObject::connect(
            state.get(), &AppState::changed, &receiver,
            [this] {
                ++changes;
                window->refresh();
            },
            Qt::QueuedConnection);
    }
    // Runs the change callbacks posted so far.
    void settle(int expectedChanges) {
        ASSERT_TRUE(waitUntil([&] { return changes >= expectedChanges; }));
    }
    bool visible() const { return window->window()->isVisible(); }
    QColor dotColour() const { return window->statusDot()->palette().color(QPalette::WindowText); }
    QString status() const { return window->statusText()->text(); }
    QString code() const { return window->codeLabel()->text(); }
};

QLabel* labelWithText(QWidget* parent, const QString& text) {
    for (QLabel* label : parent->findChildren<QLabel*>())
        if (label->text() == text) return label;
    return nullptr;
}
}  // namespace

TEST(PairingWindow, isBuiltHiddenWithTheLayoutTextsAndColoursOfTheDesign) {
    WindowHarness h(QString("0042"));
    QWidget* content = h.window->content();
    EXPECT_FALSE(h.visible());
    EXPECT_EQ(h.window->window()->windowTitle(), "Olvane");
    EXPECT_EQ(content->size(), QSize(380, 290));

    // Frames drawn from the bottom-left corner, placed from the top-left.
    struct Expected {
        const char* text;
        QRect frame;
        int pixels;
        QColor colour;
    };
    const QList<Expected> expected{
        {"Olvane", QRect(20, 92, 340, 20), 15, Qt::white},
        {"CODE DE JUMELAGE", QRect(20, 164, 340, 14), 10, PairingWindow::kCaptionGrey},
        {"0042", QRect(20, 178, 340, 50), 42, Qt::white},
        {"Ouvre l'app Olvane sur ton iPhone et saisis ce code", QRect(20, 232, 340, 14), 11,
         PairingWindow::kCaptionGrey},
        {"En attente de connexion…", QRect(166, 118, 180, 16), 12, PairingWindow::kStatusGrey},
        {"●", QRect(60, 118, 100, 16), 10, PairingWindow::kWaitingGrey},
    };
    for (const Expected& e : expected) {
        QLabel* label = labelWithText(content, e.text);
        ASSERT_NE(label, nullptr) << e.text;
        EXPECT_EQ(label->geometry(), e.frame) << e.text;
        EXPECT_NEAR(QFontInfo(label->font()).pixelSize(), e.pixels, 1) << e.text;
        EXPECT_EQ(label->palette().color(QPalette::WindowText), e.colour) << e.text;
    }
    EXPECT_EQ(labelWithText(content, "0042")->font().weight(), QFont::Bold);
    EXPECT_EQ(labelWithText(content, "Olvane")->font().weight(), QFont::DemiBold);
    EXPECT_EQ(h.window->newCodeButton()->text(), "Nouveau code");
    EXPECT_EQ(h.window->newCodeButton()->geometry(), QRect(130, 254, 120, 28));

    // What the user sees: the dark background in every corner whatever the desktop theme.
    const QImage image = content->grab().toImage();
    for (QPoint corner : {QPoint(2, 2), QPoint(377, 2), QPoint(2, 287), QPoint(377, 287)})
        EXPECT_EQ(image.pixelColor(corner), PairingWindow::kBackground) << corner.x();
    // The large code is drawn in white inside its frame.
    bool white = false;
    for (int y = 178; y < 228 && !white; ++y)
        for (int x = 20; x < 360 && !white; ++x) white = image.pixelColor(x, y) == Qt::white;
    EXPECT_TRUE(white);
}

TEST(PairingWindow, aPhoneConnectingWhileItIsShownTurnsItGreenThenHidesItAfterTheDelay) {
    WindowHarness h(QString("0042"));
    h.window->show();
    ASSERT_TRUE(h.visible());
    EXPECT_FALSE(h.timer->active());

    h.state->clientConnected();
    h.settle(1);
    EXPECT_EQ(h.dotColour(), PairingWindow::kGreen);
    EXPECT_EQ(h.status(), "iPhone connecté");
    ASSERT_TRUE(h.timer->active());
    EXPECT_EQ(h.timer->delay(), 1200ms);
    EXPECT_TRUE(h.visible());

    h.timer->fire();
    EXPECT_FALSE(h.visible());
    // Hidden, not destroyed: it can be shown again.
    h.window->show();
    EXPECT_TRUE(h.visible());
}

TEST(PairingWindow, aPhoneConnectingWhileItIsHiddenArmsNothingAndALaterShowStays) {
    WindowHarness h;
    h.state->clientConnected();
    h.settle(1);
    EXPECT_EQ(h.status(), "iPhone connecté");
    EXPECT_EQ(h.dotColour(), PairingWindow::kGreen);
    EXPECT_EQ(h.timer->starts(), 0);

    h.window->show();
    EXPECT_TRUE(h.visible());
    EXPECT_EQ(h.status(), "iPhone connecté");
    EXPECT_FALSE(h.timer->active());
}

TEST(PairingWindow, aNewCodeWhileConnectedAndShownIsDisplayedAndRearmsTheAutoClose) {
    WindowHarness h;
    h.window->show();
    h.state->clientConnected();
    h.settle(1);
    ASSERT_EQ(h.timer->starts(), 1);

    const QString before = h.code();
    for (int attempt = 0; attempt < 5 && h.code() == before; ++attempt) {
        h.window->newCodeButton()->click();
        h.settle(2 + attempt);
    }
    EXPECT_NE(h.code(), before);
    EXPECT_EQ(h.code(), h.state->pairingCode());
    EXPECT_GE(h.timer->starts(), 2);
    ASSERT_TRUE(h.timer->active());
    h.timer->fire();
    EXPECT_FALSE(h.visible());
}

TEST(PairingWindow, aPhoneLeavingWithinTheDelayShowsWaitingButTheWindowStillHides) {
    WindowHarness h;
    h.window->show();
    h.state->clientConnected();
    h.settle(1);
    h.state->clientDisconnected();
    h.settle(2);
    EXPECT_EQ(h.status(), "En attente de connexion…");
    EXPECT_EQ(h.dotColour(), PairingWindow::kWaitingGrey);
    ASSERT_TRUE(h.timer->active());
    h.timer->fire();
    EXPECT_FALSE(h.visible());
}

TEST(PairingWindow, showingItAgainWhileConnectedRecentresItAndItHidesLater) {
    WindowHarness h;
    h.window->show();
    h.state->clientConnected();
    h.settle(1);
    QMainWindow* window = h.window->window();
    window->move(0, 0);

    h.window->show();
    const QRect screen = window->screen()->availableGeometry();
    EXPECT_LE((window->frameGeometry().center() - screen.center()).manhattanLength(), 2);
    ASSERT_TRUE(h.timer->active());
    h.timer->fire();
    EXPECT_FALSE(h.visible());
}

TEST(PairingWindow, aLongFixedCodeIsShownWholeInTheSameFontAndFrame) {
    WindowHarness h(QString("123456"));
    EXPECT_EQ(h.code(), "123456");
    EXPECT_EQ(h.window->codeLabel()->geometry(), QRect(20, 178, 340, 50));
    EXPECT_NEAR(QFontInfo(h.window->codeLabel()->font()).pixelSize(), 42, 1);
    // A code from the environment is text, never markup.
    WindowHarness markup(QString("<b>12</b>"));
    EXPECT_EQ(markup.window->codeLabel()->textFormat(), Qt::PlainText);
}

namespace {
QByteArray scanned(WindowHarness& h) {
    const QString image = h.dir.filePath("qr.png");
    if (!h.window->pageQRCode()->grab().save(image)) return {};
    QProcess zbar;
    zbar.start("zbarimg", {"--quiet", "--raw", image});
    zbar.waitForFinished();
    return zbar.readAllStandardOutput().trimmed();
}
}  // namespace

TEST(PairingWindow, showsThePageAddressBelowTheCodeWithAQrCodeThatAlsoCarriesTheCode) {
    WindowHarness h;
    QMainWindow* window = h.window->window();
    EXPECT_FALSE(h.window->pagePanel()->isVisibleTo(window));  // no server, no page

    QString address = "http://192.168.1.23:8788/";
    h.window->setPageAddressSource([&] { return QUrl(address); });
    h.window->show();
    ASSERT_TRUE(h.window->pagePanel()->isVisible());
    EXPECT_EQ(h.window->pageAddressLabel()->text(), address);
    EXPECT_EQ(h.window->content()->size(), QSize(380, 290));
    EXPECT_EQ(window->centralWidget()->size(), QSize(380, 290 + 140));

    EXPECT_EQ(scanned(h), (address + "#code=" + h.code()).toUtf8());
    // "Nouveau code" is followed at once.
    const QString before = h.code();
    for (int attempt = 0; attempt < 5 && h.code() == before; ++attempt) {
        h.window->newCodeButton()->click();
        h.settle(1 + attempt);
    }
    EXPECT_EQ(scanned(h), (address + "#code=" + h.code()).toUtf8());

    // The computer moved to another network while the window was hidden.
    address = "http://10.20.30.40:8788/";
    window->hide();
    h.window->show();
    EXPECT_EQ(h.window->pageAddressLabel()->text(), address);

    // A code fixed in the environment may hold any text, even what would end the fragment.
    WindowHarness odd(QString("4 2+&#é"));
    odd.window->setPageAddressSource([&] { return QUrl(address); });
    EXPECT_EQ(scanned(odd), address.toUtf8() + "#code=4%202%2B%26%23%C3%A9");
}
