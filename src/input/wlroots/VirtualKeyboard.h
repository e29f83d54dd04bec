// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/xkb/KeyStrokePlanner.h"
#include "input/xkb/XKBKeymap.h"

#include <QByteArray>
#include <QString>

#include <bitset>
#include <memory>
#include <optional>

#include <xkbcommon/xkbcommon.h>

struct zwp_virtual_keyboard_v1;

// A virtual keyboard of the compositor over a keymap we upload. The compositor reads its keys
// through that keymap but leaves their modifiers to us: the state of our own keys is kept here
// and told after every key that changes it. The caller flushes.
class VirtualKeyboard {
public:
    // Takes ownership.
    explicit VirtualKeyboard(zwp_virtual_keyboard_v1* keyboard);
    ~VirtualKeyboard();
    VirtualKeyboard(const VirtualKeyboard&) = delete;
    VirtualKeyboard& operator=(const VirtualKeyboard&) = delete;

    // Keys that follow are read through this keymap; keys held stay held. False, with the
    // reason, when it cannot be handed over.
    bool setKeymap(const XKBKeymap& keymap, QString* error);
    // The keymap keys are read through now; null before the first one.
    const XKBKeymap* keymap() const { return keymap_ ? &*keymap_ : nullptr; }

    // One key by its X keycode (evdev code + 8); ignored before the first keymap.
    void key(xkb_keycode_t key, bool down);
    KeyboardState state() const;

private:
    void sendModifiers(bool always);

    zwp_virtual_keyboard_v1* keyboard_;
    std::optional<XKBKeymap> keymap_;
    QByteArray uploaded_;
    std::unique_ptr<xkb_state, decltype(&xkb_state_unref)> state_{nullptr, &xkb_state_unref};
    std::bitset<256> down_;
    KeyboardState sent_;
};
