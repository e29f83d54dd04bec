// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/wlroots/ExtendedKeymap.h"
#include "input/xkb/ConfiguredLayout.h"

#include <gtest/gtest.h>

TEST(ExtendedKeymap, addsCharactersOnSpareKeysWhateverTheNamesInTheKeymapSay) {
    const auto us = ConfiguredLayout::compile({"", "", "us", "", ""});
    ASSERT_TRUE(us);
    // Names may hold the word that opens the symbols and the brackets that close a section.
    QByteArray text = us->description();
    text.replace("xkb_keycodes \"", "xkb_keycodes \"xkb_symbols ");
    text.replace("name[Group1]=\"", "name[Group1]=\"}; };");
    const std::optional<XKBKeymap> odd = XKBKeymap::compile(text);
    ASSERT_TRUE(odd && odd->description().contains("xkb_keycodes \"xkb_symbols"));

    // €, ω and 😀 type on spare keys of the layout, and the layout's own keys stay.
    for (const XKBKeymap* layout : {&*us, &*odd}) {
        const auto extended =
            ExtendedKeymap::with(*layout, {XKB_KEY_EuroSign, XKB_KEY_Greek_omega, 0x0101f600});
        ASSERT_TRUE(extended);
        for (char32_t c : {U'€', U'ω', U'😀'}) {
            ASSERT_EQ(extended->keysTyping(c).size(), 1) << uint(c);
            EXPECT_TRUE(layout->spareKeys().contains(extended->keysTyping(c).first()));
        }
        EXPECT_EQ(extended->keysTyping(U'A'), layout->keysTyping(U'A'));
    }
    // One keymap holds as many characters as there are spare keys, no more.
    const QList<xkb_keysym_t> tooMany(ExtendedKeymap::capacity(*us) + 1, XKB_KEY_EuroSign);
    EXPECT_FALSE(ExtendedKeymap::with(*us, tooMany));
}
