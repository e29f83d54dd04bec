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

// Where key statements can join the symbols: at the symbols' closing "};". xkbcommon writes
// the symbols last, so the text ends with that and then the keymap's own "};". Names and
// strings before them may hold any text, "};" and "xkb_symbols" included, so the text is read
// from its end. -1 when it does not end that way.
qsizetype endOfSymbols(QByteArrayView text) {
    qsizetype end = text.size();
    for (int closing = 0; closing < 2; ++closing) {
        while (end > 0 && QChar::isSpace(uchar(text[end - 1]))) --end;
        if (!text.first(end).endsWith("};")) return -1;
        end -= 2;
    }
    return end;
}
}  // namespace

namespace ExtendedKeymap {

qsizetype capacity(const XKBKeymap& layout) {
    return namedSpareKeys(layout).size();
}

std::optional<XKBKeymap> with(const XKBKeymap& layout, const QList<xkb_keysym_t>& symbols) {
    QByteArray text = layout.description();
    const qsizetype end = endOfSymbols(text);
    const QList<xkb_keycode_t> spare = namedSpareKeys(layout);
    if (end < 0 || symbols.size() > spare.size()) return std::nullopt;
    QByteArray keys;
    for (qsizetype i = 0; i < symbols.size(); ++i) {
        char name[64] = {};
        if (xkb_keysym_get_name(symbols[i], name, sizeof name) <= 0) return std::nullopt;
        keys += QByteArray("\tkey <") + xkb_keymap_key_get_name(layout.keymap(), spare[i]) +
                "> { [ " + name + " ] };\n";
    }
    text.insert(end, keys);
    return XKBKeymap::compile(text, layout.group());
}

}  // namespace ExtendedKeymap
