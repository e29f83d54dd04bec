// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/wlroots/ExtendedKeymap.h"

namespace {
// Spare keys that the keymap's text can name (the lowest keycode may have no name).
QList<xkb_keycode_t> namedSpareKeys(const XKBKeymap& layout) {
    QList<xkb_keycode_t> keys = layout.spareKeys();
    keys.removeIf(
        [&](xkb_keycode_t key) { return !xkb_keymap_key_get_name(layout.keymap(), key); });
    return keys;
}
}  // namespace

namespace ExtendedKeymap {

qsizetype capacity(const XKBKeymap& layout) {
    return namedSpareKeys(layout).size();
}

std::optional<XKBKeymap> with(const XKBKeymap& layout, const QList<xkb_keysym_t>& symbols) {
    QByteArray text = layout.description();
    // The symbols section ends with the first line that closes a block.
    const qsizetype section = text.indexOf("xkb_symbols");
    const qsizetype end = section < 0 ? -1 : text.indexOf("\n};", section);
    const QList<xkb_keycode_t> spare = namedSpareKeys(layout);
    if (end < 0 || symbols.size() > spare.size()) return std::nullopt;
    QByteArray keys;
    for (qsizetype i = 0; i < symbols.size(); ++i) {
        char name[64] = {};
        if (xkb_keysym_get_name(symbols[i], name, sizeof name) <= 0) return std::nullopt;
        keys += QByteArray("\n\tkey <") + xkb_keymap_key_get_name(layout.keymap(), spare[i]) +
                "> { [ " + name + " ] };";
    }
    text.insert(end, keys);
    return XKBKeymap::compile(text, layout.group());
}

}  // namespace ExtendedKeymap
