// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/portal/DesktopLayout.h"
#include "input/xkb/ConfiguredLayout.h"

#include <linux/input-event-codes.h>

#include <gtest/gtest.h>

// What GNOME types when handed a keysym: what every group has first within three levels.
TEST(DesktopLayout, aKeysymTypesWhenEveryGroupHasItFirstOnOneOfThreeLevels) {
    const auto fr = ConfiguredLayout::compile({"", "", "fr", "", ""});
    const auto usRu = ConfiguredLayout::compile({"", "", "us,ru", "", ""});
    ASSERT_TRUE(fr && usRu);
    const DesktopLayout french(fr->keymap()), twoGroups(usRu->keymap()), unknown;

    EXPECT_TRUE(french.types(XKB_KEY_1) && french.types(XKB_KEY_EuroSign));  // Shift, AltGr
    EXPECT_FALSE(french.types(XKB_KEY_less));  // first on Z's fourth level, then on its own key
    EXPECT_EQ(french.key(XKB_KEY_1, 1), KEY_1);
    // The group in use cannot be seen: only what both type counts.
    EXPECT_TRUE(twoGroups.types(XKB_KEY_1));
    EXPECT_FALSE(twoGroups.types(XKB_KEY_a) || twoGroups.types(XKB_KEY_Cyrillic_ef));
    EXPECT_EQ(twoGroups.key(XKB_KEY_2, 0), KEY_2);
    // Nothing known: everything is taken to type.
    EXPECT_TRUE(!unknown.known() && unknown.types(XKB_KEY_Greek_pi));
}
