// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/LayoutMap.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>

#include <memory>
#include <optional>

#include <xkbcommon/xkbcommon.h>

// One group (layout) of an XKB keymap and what typing through it needs: the text of each key,
// the keys that produce a character, the keys that shift or lock modifiers, and the spare keys
// that produce nothing. Keys are X keycodes (evdev code + 8). Copies share the keymap, which
// goes with the last of them; use on one thread.
class XKBKeymap : public KeySymbolSource {
public:
    struct ModifierKey {
        xkb_keycode_t key = 0;
        xkb_mod_mask_t mods = 0;
    };

    // X keycodes are evdev codes moved up by 8, the first 8 being reserved by the X protocol.
    static constexpr xkb_keycode_t kEvdevOffset = 8;
    // X keycodes are one byte; keymaps compiled elsewhere may name more keys.
    static constexpr xkb_keycode_t kMaxKeycode = 255;

    static constexpr xkb_keycode_t fromEvdev(quint16 evdevCode) { return evdevCode + kEvdevOffset; }
    static constexpr quint16 toEvdev(xkb_keycode_t key) { return quint16(key - kEvdevOffset); }

    // Takes over the reference that an xkbcommon constructor handed out; none for null.
    static std::optional<XKBKeymap> adopt(xkb_keymap* keymap, xkb_layout_index_t group = 0);
    // A keymap from its text as xkbcommon writes it, whole (it includes nothing); none when
    // the text does not compile.
    static std::optional<XKBKeymap> compile(QByteArrayView text, xkb_layout_index_t group = 0);
    // The same keymap, typing through another group.
    XKBKeymap inGroup(xkb_layout_index_t group) const;

    // The text a key types with no modifier, or with Shift, in this group.
    QString text(quint16 evdevCode, bool shifted) const override;
    // The symbol a key has with no modifier in this group; XKB_KEY_NoSymbol when none.
    xkb_keysym_t keysym(quint16 evdevCode) const;

    xkb_keymap* keymap() const { return keymap_.get(); }
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

private:
    XKBKeymap(std::shared_ptr<xkb_keymap> keymap, xkb_layout_index_t group);
    void indexCharacters();
    void findModifierKeys();

    std::shared_ptr<xkb_keymap> keymap_;
    xkb_layout_index_t group_;
    QHash<char32_t, QList<xkb_keycode_t>> keysByCharacter_;
    QList<ModifierKey> shiftKeys_;
    QList<ModifierKey> lockKeys_;
    QSet<xkb_keycode_t> modifierKeys_;
    QList<xkb_keycode_t> spareKeys_;
};
