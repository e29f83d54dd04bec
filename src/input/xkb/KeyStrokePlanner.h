// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/xkb/XKBKeymap.h"

#include <QList>
#include <QSet>

#include <bitset>
#include <functional>
#include <memory>
#include <optional>

#include <xkbcommon/xkbcommon.h>

// The keyboard as the server sees it when typing starts.
struct KeyboardState {
    xkb_mod_mask_t baseMods = 0, latchedMods = 0, lockedMods = 0;
    xkb_layout_index_t baseGroup = 0, latchedGroup = 0, lockedGroup = 0;
    std::bitset<256> keysDown;
};

// One character as key events: tap the toggled keys, press the held ones, press and release
// the key, release the held keys in reverse, tap the toggled keys again.
struct KeyStroke {
    xkb_keycode_t key = 0;
    QList<xkb_keycode_t> held;
    QList<xkb_keycode_t> toggled;

    // Hands each key event to post, in that order.
    void replay(const std::function<void(xkb_keycode_t key, bool down)>& post) const;
};

// Finds the cheapest way to type a character through the keymap from the given state: which key,
// and which shift keys (Shift, AltGr, ...) to hold or lock keys to tap for its level. Keys that
// are already down, by the user or anyone else, are never pressed or released.
class KeyStrokePlanner {
public:
    KeyStrokePlanner(const XKBKeymap& keymap, const KeyboardState& state);
    ~KeyStrokePlanner();

    // A key of the layout that types the character; none when no key of the group can.
    std::optional<KeyStroke> plan(char32_t character, const QSet<xkb_keycode_t>& avoid) const;
    // How to type sym on a lent key, whose symbol for the effective modifiers symAt tells;
    // Caps Lock is off for a letter, which programs would upper-case. None when no choice of
    // modifiers reaches it.
    using SymAt = std::function<xkb_keysym_t(xkb_mod_mask_t effectiveMods)>;
    std::optional<KeyStroke> planRemapped(xkb_keycode_t key, xkb_keysym_t sym,
                                          const SymAt& symAt) const;
    // Whether some choice of modifiers gives exactly `mods` out of `among`.
    bool canReach(xkb_mod_mask_t mods, xkb_mod_mask_t among) const;

private:
    struct Choice {
        xkb_mod_mask_t heldMods = 0;
        xkb_mod_mask_t toggledMods = 0;
        QList<xkb_keycode_t> held;
        QList<xkb_keycode_t> toggled;
        int cost = 0;
    };

    void listChoices();
    // The effective modifiers with the choice made.
    xkb_mod_mask_t apply(const Choice& choice) const;

    const XKBKeymap& keymap_;
    const KeyboardState state_;
    std::unique_ptr<xkb_state, decltype(&xkb_state_unref)> sim_;
    QList<Choice> choices_;  // cheapest first
};
