// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/LayoutMap.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>

#include <xkbcommon/xkbcommon.h>

// One group (layout) of an XKB keymap and what typing through it needs: the text of each key,
// the keys that produce a character, the keys that shift or lock modifiers, and the spare keys
// that produce nothing. Keys are X keycodes (evdev code + 8). Cheap to copy; use on one thread.
class XKBKeymap : public KeySymbolSource {
public:
    struct ModifierKey {
        xkb_keycode_t key = 0;
        xkb_mod_mask_t mods = 0;
    };

    static constexpr xkb_keycode_t kEvdevOffset = 8;
    // X keycodes are one byte; keymaps compiled elsewhere may name more keys.
    static constexpr xkb_keycode_t kMaxKeycode = 255;

    // Takes a reference of its own on keymap.
    XKBKeymap(xkb_keymap* keymap, xkb_layout_index_t group);
    XKBKeymap(const XKBKeymap& other);
    XKBKeymap& operator=(const XKBKeymap&) = delete;
    ~XKBKeymap() override;

    // The text a key types with no modifier, or with Shift, in this group.
    QString text(quint16 evdevCode, bool shifted) const override;
    // The symbol a key has with no modifier in this group; XKB_KEY_NoSymbol when none.
    xkb_keysym_t keysym(quint16 evdevCode) const;

    xkb_keymap* keymap() const { return keymap_; }
    xkb_layout_index_t group() const { return group_; }
    xkb_mod_mask_t modMask(const char* name) const;

    // Keys that type the character at some level of this group, lowest keycode first.
    QList<xkb_keycode_t> keysTyping(char32_t character) const;
    // Keys that set modifiers while held, one per distinct set, none touching Control, Alt or
    // Super or switching the group (Shift, AltGr, the fifth level...).
    const QList<ModifierKey>& shiftKeys() const { return shiftKeys_; }
    // Keys that lock modifiers when tapped (Caps Lock, Num Lock), one per distinct set.
    const QList<ModifierKey>& lockKeys() const { return lockKeys_; }
    // Whether pressing the key sets, latches or locks any modifier.
    bool isModifierKey(xkb_keycode_t key) const { return modifierKeys_.contains(key); }
    // Keys without any symbol in any group, highest keycode first.
    const QList<xkb_keycode_t>& spareKeys() const { return spareKeys_; }
    bool hasKey(xkb_keycode_t key) const;
    xkb_keycode_t lastKey() const;

    // The keymap as text: tells a real change from a notification that changed nothing.
    QByteArray description() const;
    // A keymap from such a text, whole (it includes nothing); the caller owns it. Null when
    // the text does not compile.
    static xkb_keymap* compile(QByteArrayView text);

private:
    void indexCharacters();
    void findModifierKeys();

    xkb_keymap* keymap_;
    xkb_layout_index_t group_;
    QHash<char32_t, QList<xkb_keycode_t>> keysByCharacter_;
    QList<ModifierKey> shiftKeys_;
    QList<ModifierKey> lockKeys_;
    QSet<xkb_keycode_t> modifierKeys_;
    QList<xkb_keycode_t> spareKeys_;
};
