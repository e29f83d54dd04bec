#include "X11Harness.h"
#include "support/LogCapture.h"
#include "support/RecordingWindow.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

// Keys and text as a window of another process receives them.

namespace {
// The key presses a window saw, as "keycode/state".
QStringList presses(RecordingWindow& window) {
    QStringList out;
    for (const QString& e : window.events("key-press"))
        out.append(e.section(' ', 0, 0) + '/' + e.section(' ', 1, 1));
    return out;
}

struct KeyboardTest : ::testing::Test {
    X11Harness h;
    std::unique_ptr<RecordingWindow> window;

    void SetUp() override {
        window = std::make_unique<RecordingWindow>(h.server);
        ASSERT_TRUE(window->ready());
    }

    // Types the text and waits for the window to have as many characters.
    QString typed(const QString& text) {
        window->clear();
        h.input->typeText(text);
        return window->waitForText(text.toUcs4().size());
    }
};
}  // namespace

TEST_F(KeyboardTest, cmdIsSuperWhenConfiguredAndAHeldModifierStaysHeld) {
    h.startInput(Input::Options{KeyNames::CmdKey::Super});
    h.server.run("xdotool", {"keydown", "Control_L"});
    h.input->pressKey("c", {"ctrl"});
    h.input->pressKey("tab", {"meta"});
    ASSERT_TRUE(window->waitForEvents("key-press", 4));
    ASSERT_TRUE(window->waitForEvents("key-release", 3));
    EXPECT_EQ(presses(*window), (QStringList{"37/0", "54/4", "133/4", "23/68"}));
    // The Control key someone holds is neither pressed again nor released by us.
    EXPECT_EQ(h.server.keysDown(), QList<int>{37});
    h.server.run("xdotool", {"keyup", "Control_L"});
}

TEST_F(KeyboardTest, capsLockAndAHeldShiftChangeNeitherTheTextNorTheirOwnState) {
    h.startInput();
    h.server.run("xdotool", {"key", "Caps_Lock"});
    ASSERT_TRUE(h.server.capsLockOn());
    const QString text = "Hello é Ω 😀 1";
    EXPECT_EQ(typed(text), text);
    EXPECT_TRUE(h.server.capsLockOn());
    h.server.run("xdotool", {"key", "Caps_Lock"});

    h.server.run("xdotool", {"keydown", "Shift_L"});
    EXPECT_EQ(typed(text), text);
    EXPECT_EQ(h.server.keysDown(), QList<int>{50});
    EXPECT_FALSE(h.server.capsLockOn());
    h.server.run("xdotool", {"keyup", "Shift_L"});
}

TEST_F(KeyboardTest, remappedKeysGetTheirOwnSymbolsBackAfterTyping) {
    const QString before = h.server.keyboardMapping();
    h.startInput();
    EXPECT_EQ(typed("😀é🎉"), "😀é🎉");
    EXPECT_TRUE(waitUntil([&] { return h.server.keyboardMapping() == before; }, 10000));
}

TEST_F(KeyboardTest, charactersWithoutAnyKeyAreSkippedWithOneLogLine) {
    // Every spare key taken: nothing can be remapped.
    QStringList fill;
    const QRegularExpression empty(QStringLiteral("^keycode\\s+(\\d+) =\\s*$"));
    for (const QString& line : h.server.keyboardMapping().split('\n')) {
        const QRegularExpressionMatch m = empty.match(line);
        if (m.hasMatch()) fill << "-e" << QStringLiteral("keycode %1 = F20").arg(m.captured(1));
    }
    ASSERT_FALSE(fill.isEmpty());
    h.server.run("xmodmap", fill);
    ASSERT_TRUE(window->waitForEvents("keymap", 1));

    LogCapture log;
    h.startInput();
    h.input->typeText(QString("a😀b") + QChar(0x7) + "c🎉");
    EXPECT_EQ(window->waitForText(3), "abc");
    h.input->queue().sync([] {});
    const QStringList lines = log.lines().filter("could not be typed");
    ASSERT_EQ(lines.size(), 1) << log.lines().join('\n').toStdString();
    EXPECT_TRUE(lines[0].contains("3 of 6")) << lines[0].toStdString();
    EXPECT_EQ(h.server.keysDown(), QList<int>{});
}
