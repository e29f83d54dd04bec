// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/xkb/XKBKeymap.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {
using StatePtr = std::unique_ptr<xkb_state, decltype(&xkb_state_unref)>;

StatePtr newState(xkb_keymap* keymap, xkb_layout_index_t group, xkb_mod_mask_t mods = 0) {
    StatePtr state(xkb_state_new(keymap), &xkb_state_unref);
    if (state) xkb_state_update_mask(state.get(), mods, 0, 0, 0, 0, group);
    return state;
}

// What holding and then releasing one key does to a fresh state.
struct KeyEffect {
    xkb_mod_mask_t whileHeld = 0;
    xkb_mod_mask_t latched = 0;
    xkb_mod_mask_t locked = 0;
    bool switchesGroup = false;
};

KeyEffect effectOf(xkb_keymap* keymap, xkb_layout_index_t group, xkb_keycode_t key) {
    KeyEffect effect;
    StatePtr state = newState(keymap, group);
    if (!state) return effect;
    const xkb_layout_index_t before =
        xkb_state_serialize_layout(state.get(), XKB_STATE_LAYOUT_EFFECTIVE);
    xkb_state_update_key(state.get(), key, XKB_KEY_DOWN);
    effect.whileHeld = xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_DEPRESSED);
    effect.switchesGroup =
        xkb_state_serialize_layout(state.get(), XKB_STATE_LAYOUT_EFFECTIVE) != before;
    xkb_state_update_key(state.get(), key, XKB_KEY_UP);
    effect.latched = xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_LATCHED);
    effect.locked = xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_LOCKED);
    effect.switchesGroup =
        effect.switchesGroup ||
        xkb_state_serialize_layout(state.get(), XKB_STATE_LAYOUT_EFFECTIVE) != before;
    return effect;
}

bool hasSymbols(xkb_keymap* keymap, xkb_keycode_t key) {
    const xkb_layout_index_t layouts = xkb_keymap_num_layouts_for_key(keymap, key);
    for (xkb_layout_index_t layout = 0; layout < layouts; ++layout) {
        const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap, key, layout);
        for (xkb_level_index_t level = 0; level < levels; ++level) {
            const xkb_keysym_t* syms = nullptr;
            if (xkb_keymap_key_get_syms_by_level(keymap, key, layout, level, &syms) > 0)
                return true;
        }
    }
    return false;
}
}  // namespace

XKBKeymap::XKBKeymap(std::shared_ptr<xkb_keymap> keymap, xkb_layout_index_t group)
    : keymap_(std::move(keymap)), group_(group) {
    indexCharacters();
    findModifierKeys();
}

std::optional<XKBKeymap> XKBKeymap::adopt(xkb_keymap* keymap, xkb_layout_index_t group) {
    if (!keymap) return std::nullopt;
    return XKBKeymap(std::shared_ptr<xkb_keymap>(keymap, &xkb_keymap_unref), group);
}

std::optional<XKBKeymap> XKBKeymap::compile(QByteArrayView text, xkb_layout_index_t group) {
    const std::unique_ptr<xkb_context, decltype(&xkb_context_unref)> context(
        xkb_context_new(
            xkb_context_flags(XKB_CONTEXT_NO_DEFAULT_INCLUDES | XKB_CONTEXT_NO_ENVIRONMENT_NAMES)),
        &xkb_context_unref);
    if (!context) return std::nullopt;
    return adopt(xkb_keymap_new_from_buffer(context.get(), text.data(), size_t(text.size()),
                                            XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS),
                 group);
}

XKBKeymap XKBKeymap::inGroup(xkb_layout_index_t group) const {
    return XKBKeymap(keymap_, group);
}

QString XKBKeymap::text(quint16 evdevCode, bool shifted) const {
    const xkb_keycode_t key = fromEvdev(evdevCode);
    if (!hasKey(key)) return {};
    StatePtr state = newState(keymap(), group_, shifted ? modMask(XKB_MOD_NAME_SHIFT) : 0);
    if (!state) return {};
    char utf8[64] = {};
    xkb_state_key_get_utf8(state.get(), key, utf8, sizeof utf8);
    return QString::fromUtf8(utf8);
}

xkb_keysym_t XKBKeymap::keysym(quint16 evdevCode) const {
    const xkb_keycode_t key = fromEvdev(evdevCode);
    if (!hasKey(key)) return XKB_KEY_NoSymbol;
    StatePtr state = newState(keymap(), group_);
    return state ? xkb_state_key_get_one_sym(state.get(), key) : XKB_KEY_NoSymbol;
}

xkb_mod_mask_t XKBKeymap::modMask(const char* name) const {
    const xkb_mod_index_t index = xkb_keymap_mod_get_index(keymap(), name);
    return index == XKB_MOD_INVALID ? 0 : xkb_mod_mask_t(1) << index;
}

bool XKBKeymap::hasKey(xkb_keycode_t key) const {
    return key >= xkb_keymap_min_keycode(keymap()) && key <= lastKey();
}

xkb_keycode_t XKBKeymap::lastKey() const {
    return std::min(xkb_keymap_max_keycode(keymap()), kMaxKeycode);
}

QList<xkb_keycode_t> XKBKeymap::keysTyping(char32_t character) const {
    return keysByCharacter_.value(character);
}

QByteArray XKBKeymap::description() const {
    char* text = xkb_keymap_get_as_string(keymap(), XKB_KEYMAP_FORMAT_TEXT_V1);
    QByteArray result(text);
    free(text);
    return result;
}

void XKBKeymap::indexCharacters() {
    StatePtr state = newState(keymap(), group_);
    if (!state) return;
    const xkb_keycode_t last = lastKey();
    for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap()); key <= last; ++key) {
        // The group the key really uses: a key with fewer groups wraps or clamps.
        const xkb_layout_index_t layout = xkb_state_key_get_layout(state.get(), key);
        if (layout == XKB_LAYOUT_INVALID) continue;
        const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap(), key, layout);
        for (xkb_level_index_t level = 0; level < levels; ++level) {
            const xkb_keysym_t* syms = nullptr;
            if (xkb_keymap_key_get_syms_by_level(keymap(), key, layout, level, &syms) != 1)
                continue;
            const char32_t character = xkb_keysym_to_utf32(syms[0]);
            if (character == 0) continue;
            QList<xkb_keycode_t>& keys = keysByCharacter_[character];
            if (!keys.contains(key)) keys.append(key);
        }
    }
}

void XKBKeymap::findModifierKeys() {
    const xkb_mod_mask_t reserved =
        modMask(XKB_MOD_NAME_CTRL) | modMask(XKB_MOD_NAME_ALT) | modMask(XKB_MOD_NAME_LOGO);
    const xkb_keycode_t first = xkb_keymap_min_keycode(keymap());
    for (xkb_keycode_t key = lastKey(); key >= first && key > 0; --key) {
        const KeyEffect effect = effectOf(keymap(), group_, key);
        const bool modifier = effect.whileHeld || effect.latched || effect.locked;
        if (modifier) modifierKeys_.insert(key);
        if (!modifier && !hasSymbols(keymap(), key)) spareKeys_.append(key);
        if (!modifier || effect.switchesGroup || effect.latched) continue;
        if (effect.locked && !(effect.locked & reserved)) {
            lockKeys_.append({key, effect.locked});
        } else if (!effect.locked && !(effect.whileHeld & reserved)) {
            shiftKeys_.append({key, effect.whileHeld});
        }
    }
    // Walked from the top so that spare keys come highest first; modifier keys are wanted
    // lowest first, one per distinct set of modifiers.
    auto lowestPerMask = [](QList<ModifierKey>& keys) {
        std::reverse(keys.begin(), keys.end());
        QSet<xkb_mod_mask_t> seen;
        keys.removeIf([&](const ModifierKey& k) {
            if (seen.contains(k.mods)) return true;
            seen.insert(k.mods);
            return false;
        });
    };
    lowestPerMask(shiftKeys_);
    lowestPerMask(lockKeys_);
}
