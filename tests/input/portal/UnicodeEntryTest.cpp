// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/portal/UnicodeEntry.h"
#include "input/xkb/ConfiguredLayout.h"

#include <gtest/gtest.h>

namespace {
// "+29" a key code pressed, "-29" released, "+'a'" a keysym, "~100" a pause.
QString written(const QList<UnicodeEntry::Step>& steps) {
    using Kind = UnicodeEntry::Step::Kind;
    QString out;
    for (const UnicodeEntry::Step& s : steps)
        out += s.kind == Kind::Pause
                   ? QStringLiteral(" ~%1").arg(s.value)
                   : QStringLiteral(" %1%2")
                         .arg(s.pressed ? '+' : '-')
                         .arg(s.kind == Kind::Keysym ? QStringLiteral("'%1'").arg(QChar(s.value))
                                                     : QString::number(s.value));
    return out.trimmed();
}
}  // namespace

// Ctrl+Shift+U, the code in hexadecimal, Space; € is U+20AC. Evdev codes: 29 Ctrl, 42 Shift,
// 22 U, 57 Space, 3 to 11 the digits 2 to 0; A is 30 on us and 16 on fr, C 46 on both.
TEST(UnicodeEntry, theCodeIsTypedWhereTheLayoutHasItsDigitsAndIBusIsGivenTime) {
    const auto fr = ConfiguredLayout::compile({"", "", "fr", "", ""});
    ASSERT_TRUE(fr);
    const DesktopLayout french(fr->keymap());
    using Reader = UnicodeEntry::Reader;
    // Without a known layout, where a US keyboard has the keys.
    EXPECT_EQ(written(UnicodeEntry::steps(U'€', {}, Reader::Gtk)),
              "+29 +42 +22 -22 -42 -29 +3 -3 +11 -11 +30 -30 +46 -46 +57 -57");
    // AZERTY has its digits on the Shift level: Shift stays down, and the letters are capitals.
    EXPECT_EQ(written(UnicodeEntry::steps(U'€', french, Reader::Gtk)),
              "+29 +42 +22 -22 -42 -29 +42 +3 -3 +11 -11 +16 -16 +46 -46 +57 -57 -42");
    // IBus reads symbols, which the desktop types on whatever level the layout has them.
    EXPECT_EQ(written(UnicodeEntry::steps(U'€', french, Reader::IBus)),
              "+29 +42 +22 -22 -42 -29 ~100 +'2' -'2' +'0' -'0' +'a' -'a' +'c' -'c' +57 -57 ~100");
}
