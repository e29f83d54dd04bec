// SPDX-License-Identifier: GPL-3.0-or-later
#include "X11Harness.h"
#include "input/x11/X11Connection.h"
#include "input/x11/X11SpareKeys.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

// Keys and text as a window of another process receives them.

TEST(X11Keyboard, capsLockAndAHeldShiftChangeNeitherTheTextNorTheirStateNorTheKeymap) {
    X11Harness h;
    const QString keymap = h.run("xmodmap", {"-pke"});
    h.startInput();
    const QString text = "Hello é Ω 😀 1";  // the last three on spare keys lent for them
    for (const QStringList& press : {QStringList{"key", "Caps_Lock"}, {"keydown", "Shift_L"}}) {
        h.run("xdotool", press);
        h.lines.clear();
        h.input->typeText(text);
        EXPECT_TRUE(waitUntil([&] { return h.text() == text; }, 60000)) << h.text().toStdString();
    }
    EXPECT_EQ(h.keysDown(), QStringList{"50"});
    EXPECT_TRUE(h.run("xset", {"q"}).contains(QRegularExpression("Caps Lock:\\s+on")));
    EXPECT_TRUE(waitUntil([&] { return h.run("xmodmap", {"-pke"}) == keymap; }, 10000));
}

TEST(X11Keyboard, aModifierTheUserHoldsStaysHeldAndCharactersNoKeyCanTypeAreSkipped) {
    X11Harness h;
    // Every spare key taken: nothing can be lent.
    QStringList fill;
    const QRegularExpression spare("^keycode\\s+(\\d+) =\\s*$",
                                   QRegularExpression::MultilineOption);
    for (const auto& m : spare.globalMatch(h.run("xmodmap", {"-pke"})))
        fill << "-e" << QStringLiteral("keycode %1 = F20").arg(m.captured(1));
    ASSERT_FALSE(fill.isEmpty());
    h.run("xmodmap", fill);
    ASSERT_TRUE(h.waitForEvents("keymap", 1));
    LogCapture log;
    h.startInput(Input::Options{KeyNames::CmdKey::Super});

    h.run("xdotool", {"keydown", "Control_L"});
    h.input->pressKey("c", {"ctrl"});
    h.input->pressKey("tab", {"meta"});
    ASSERT_TRUE(h.waitForEvents("key-release", 3));
    // As "keycode state": Control, c with Control, Super, Tab with Control and Super.
    QStringList presses;
    for (const QString& press : h.events("key-press")) presses << press.section(' ', 0, 1);
    EXPECT_EQ(presses, (QStringList{"37 0", "54 4", "133 4", "23 68"}));
    EXPECT_EQ(h.keysDown(), QStringList{"37"});
    h.run("xdotool", {"keyup", "Control_L"});

    h.lines.clear();
    h.input->typeText(QString("a😀b") + QChar(0x7) + "c🎉");
    EXPECT_TRUE(waitUntil([&] { return h.text() == "abc"; })) << h.text().toStdString();
    h.input->queue().sync([] {});
    const QStringList lines = log.lines().filter("could not be typed");
    EXPECT_TRUE(lines.size() == 1 && lines[0].contains("3 of 6")) << lines.join('\n').toStdString();
    EXPECT_TRUE(h.keysDown().isEmpty());
}

TEST(X11Keyboard, everyKeyChangedIsGivenBackAlsoAfterALendingThatFailedHalfWay) {
    X11Harness h;
    const QString keymap = h.run("xmodmap", {"-pke"});
    QString error;
    const auto x = X11Connection::open(h.environment.value("DISPLAY"), &error);
    ASSERT_TRUE(x);
    X11SpareKeys keys(*x);
    ASSERT_TRUE(keys.lend({{202, {XKB_KEY_eacute, XKB_KEY_Eacute, XKB_KEY_oslash, 0}}}, 202, 202));
    // As the core keymap shows it: the two first levels twice, then the third and fourth.
    EXPECT_TRUE(h.run("xmodmap", {"-pke"})
                    .contains("keycode 202 = eacute Eacute eacute Eacute oslash oslash"));
    // The second key is past the keyboard's last: nothing is sent, and 202 is still ours.
    EXPECT_FALSE(keys.lend({{202, {XKB_KEY_ssharp}}, {300, {XKB_KEY_a}}}, 202, 300));
    EXPECT_TRUE(keys.giveBack());
    EXPECT_EQ(h.run("xmodmap", {"-pke"}), keymap);
}
