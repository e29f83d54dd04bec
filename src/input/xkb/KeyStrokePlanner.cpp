// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/xkb/KeyStrokePlanner.h"

#include <algorithm>

namespace {
// Keypad keys type digits and signs too, but programs may read them as keypad keys.
constexpr int kKeypadPenalty = 10;

bool isKeypad(xkb_keysym_t sym) {
    return sym >= XKB_KEY_KP_Space && sym <= XKB_KEY_KP_Equal;
}

bool hasCase(xkb_keysym_t sym) {
    return xkb_keysym_to_upper(sym) != xkb_keysym_to_lower(sym);
}
}  // namespace

void KeyStroke::replay(const std::function<void(xkb_keycode_t key, bool down)>& post) const {
    const auto tap = [&](xkb_keycode_t k) { post(k, true), post(k, false); };
    for (xkb_keycode_t k : toggled) tap(k);
    for (xkb_keycode_t k : held) post(k, true);
    tap(key);
    for (auto k = held.crbegin(); k != held.crend(); ++k) post(*k, false);
    for (auto k = toggled.crbegin(); k != toggled.crend(); ++k) tap(*k);
}

KeyStrokePlanner::KeyStrokePlanner(const XKBKeymap& keymap, const KeyboardState& state)
    : keymap_(keymap), state_(state), sim_(xkb_state_new(keymap.keymap()), &xkb_state_unref) {
    listChoices();
}

KeyStrokePlanner::~KeyStrokePlanner() = default;

void KeyStrokePlanner::listChoices() {
    struct Option {
        XKBKeymap::ModifierKey key;
        bool lock;
    };
    QList<Option> options;
    for (const auto& k : keymap_.shiftKeys())
        if (!state_.keysDown.test(k.key)) options.append({k, false});
    for (const auto& k : keymap_.lockKeys())
        if (!state_.keysDown.test(k.key)) options.append({k, true});
    // A handful of options at most; every subset is a choice.
    const int count = std::min<int>(int(options.size()), 10);
    for (unsigned subset = 0; subset < (1u << count); ++subset) {
        Choice choice;
        for (int i = 0; i < count; ++i) {
            if (!(subset & (1u << i))) continue;
            const Option& o = options[i];
            if (o.lock) {
                choice.toggled.append(o.key.key);
                choice.toggledMods ^= o.key.mods;
                choice.cost += 2;
            } else {
                choice.held.append(o.key.key);
                choice.heldMods |= o.key.mods;
                choice.cost += 1;
            }
        }
        choices_.append(choice);
    }
    std::stable_sort(choices_.begin(), choices_.end(),
                     [](const Choice& a, const Choice& b) { return a.cost < b.cost; });
}

xkb_mod_mask_t KeyStrokePlanner::apply(const Choice& choice) const {
    xkb_state_update_mask(sim_.get(), state_.baseMods | choice.heldMods, state_.latchedMods,
                          state_.lockedMods ^ choice.toggledMods, state_.baseGroup,
                          state_.latchedGroup, state_.lockedGroup);
    return xkb_state_serialize_mods(sim_.get(), XKB_STATE_MODS_EFFECTIVE);
}

std::optional<KeyStroke> KeyStrokePlanner::plan(char32_t character,
                                                const QSet<xkb_keycode_t>& avoid) const {
    if (!sim_) return std::nullopt;
    QList<xkb_keycode_t> keys = keymap_.keysTyping(character);
    keys.removeIf([&](xkb_keycode_t k) { return avoid.contains(k) || state_.keysDown.test(k); });
    if (keys.isEmpty()) return std::nullopt;
    std::optional<KeyStroke> best;
    int bestCost = 0;
    for (const Choice& choice : choices_) {
        if (best && choice.cost >= bestCost) break;
        apply(choice);
        for (xkb_keycode_t key : keys) {
            // The symbol a program reads, Caps Lock's upper-casing included.
            const xkb_keysym_t sym = xkb_state_key_get_one_sym(sim_.get(), key);
            if (xkb_keysym_to_utf32(sym) != character) continue;
            const int cost = choice.cost + (isKeypad(sym) ? kKeypadPenalty : 0);
            if (!best || cost < bestCost) {
                best = KeyStroke{key, choice.held, choice.toggled};
                bestCost = cost;
            }
        }
    }
    return best;
}

std::optional<KeyStroke> KeyStrokePlanner::planRemapped(xkb_keycode_t key, xkb_keysym_t sym,
                                                        const SymAt& symAt) const {
    if (!sim_ || state_.keysDown.test(key)) return std::nullopt;
    const xkb_mod_mask_t lock = hasCase(sym) ? keymap_.modMask(XKB_MOD_NAME_CAPS) : 0;
    for (const Choice& choice : choices_) {
        const xkb_mod_mask_t mods = apply(choice);
        if (!(mods & lock) && symAt(mods) == sym)
            return KeyStroke{key, choice.held, choice.toggled};
    }
    return std::nullopt;
}

bool KeyStrokePlanner::canReach(xkb_mod_mask_t mods, xkb_mod_mask_t among) const {
    return sim_ && std::any_of(choices_.cbegin(), choices_.cend(),
                               [&](const Choice& c) { return (apply(c) & among) == mods; });
}
