// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/xkb/ConfiguredLayout.h"
#include "input/xkb/KeyStrokePlanner.h"

#include <gtest/gtest.h>

// Keymaps compiled from the system's keyboard data, as an X server with these layouts has them.
// X keycodes: 50 Shift, 66 Caps Lock, 92 AltGr.
namespace {
// As "key +held ^tapped", or "-" when no key can type the character.
QString plan(const XKBKeymap& keymap, const KeyboardState& state, char32_t c,
             const QSet<xkb_keycode_t>& avoid = {}) {
    const std::optional<KeyStroke> s = KeyStrokePlanner(keymap, state).plan(c, avoid);
    if (!s) return "-";
    QString out = QString::number(s->key);
    for (xkb_keycode_t key : s->held) out += QStringLiteral(" +%1").arg(key);
    for (xkb_keycode_t key : s->toggled) out += QStringLiteral(" ^%1").arg(key);
    return out;
}
}  // namespace

TEST(KeyStrokePlanner, aCharacterGetsTheModifiersOfItsLevelAroundLocksAndKeysAlreadyDown) {
    const auto us = ConfiguredLayout::compile({"", "", "us", "", ""});
    const auto fr = ConfiguredLayout::compile({"", "", "fr", "", ""});
    ASSERT_TRUE(us && fr);
    KeyboardState idle, caps, shiftHeld, numLock;
    caps.lockedMods = us->modMask(XKB_MOD_NAME_CAPS);
    shiftHeld.baseMods = us->modMask(XKB_MOD_NAME_SHIFT);
    shiftHeld.keysDown.set(50);
    numLock.lockedMods = fr->modMask(XKB_MOD_NAME_NUM);
    const struct {
        const XKBKeymap& keymap;
        const KeyboardState& state;
        char32_t character;
        const char* planned;
    } cases[] = {
        // Capitals and AltGr's € are typed into Tk and GTK fields on an X server.
        {*us, idle, U'é', "-"},  // for a spare key lent to it
        // Caps Lock and a held Shift are shown on an X server; Caps Lock cancels the held Shift.
        {*us, shiftHeld, U'a', "38 ^66"},
        // Shift+& rather than the keypad's 1, though the keypad needs no modifier.
        {*fr, numLock, U'1', "10 +50"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(plan(c.keymap, c.state, c.character), c.planned) << uint(c.character);
    // The keypad when the other keys are in use.
    EXPECT_EQ(plan(*fr, numLock, U'1', {10}), "87");

    // A lent key with é, €, ж, Ж on its four levels (AltGr's modifier is Mod5 here): the
    // modifiers of the level, and Caps Lock off for a letter only.
    const xkb_mod_mask_t shift = 1, mod5 = 0x80;
    const auto lent = [&](xkb_mod_mask_t mods) {
        const xkb_keysym_t levels[] = {XKB_KEY_eacute, XKB_KEY_EuroSign, XKB_KEY_Cyrillic_zhe,
                                       XKB_KEY_Cyrillic_ZHE};
        return levels[((mods & shift) ? 1 : 0) + ((mods & mod5) ? 2 : 0)];
    };
    const auto remapped = [&](const KeyboardState& state, xkb_keysym_t sym) {
        const auto s = KeyStrokePlanner(*us, state).planRemapped(200, sym, lent);
        return s ? QList<QList<xkb_keycode_t>>{s->held, s->toggled} : QList<QList<xkb_keycode_t>>{};
    };
    using Keys = QList<xkb_keycode_t>;
    EXPECT_EQ(remapped(caps, XKB_KEY_eacute), (QList<Keys>{{}, {66}}));
    EXPECT_EQ(remapped(caps, XKB_KEY_EuroSign), (QList<Keys>{{50}, {}}));
    EXPECT_EQ(remapped(idle, XKB_KEY_Cyrillic_ZHE), (QList<Keys>{{50, 92}, {}}));
    EXPECT_EQ(remapped(shiftHeld, XKB_KEY_Cyrillic_zhe), QList<Keys>{});
}
