// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/portal/DesktopLayout.h"

#include "input/xkb/XKBKeymap.h"

#include <algorithm>

namespace {
constexpr int kLevels = 3;
}  // namespace

DesktopLayout::DesktopLayout(xkb_keymap* keymap) : groups_(xkb_keymap_num_layouts(keymap)) {
    // As mutter does, up to the last keycode but one.
    const xkb_keycode_t end = xkb_keymap_max_keycode(keymap);
    for (xkb_keycode_t key = std::max(xkb_keymap_min_keycode(keymap), XKBKeymap::kEvdevOffset);
         key < end; ++key) {
        for (xkb_layout_index_t group = 0; group < groups_.size(); ++group) {
            const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap, key, group);
            for (xkb_level_index_t level = 0; level < levels; ++level) {
                const xkb_keysym_t* syms = nullptr;
                const int count =
                    xkb_keymap_key_get_syms_by_level(keymap, key, group, level, &syms);
                for (int i = 0; i < count; ++i)
                    groups_[group][syms[i]].append({XKBKeymap::toEvdev(key), int(level)});
            }
        }
    }
}

bool DesktopLayout::types(xkb_keysym_t keysym) const {
    return std::all_of(groups_.begin(), groups_.end(), [keysym](const auto& group) {
        const QList<KeyLevel> places = group.value(keysym);
        if (places.isEmpty() || places.first().level >= kLevels) return false;
        // The level's modifier, which mutter also looks up by its keysym.
        const int level = places.first().level;
        return level == 0 ||
               group.contains(level == 1 ? XKB_KEY_Shift_L : XKB_KEY_ISO_Level3_Shift);
    });
}

int DesktopLayout::key(xkb_keysym_t keysym, int level) const {
    if (groups_.empty()) return 0;
    for (const KeyLevel& place : groups_.front().value(keysym)) {
        if (place.level != level) continue;
        const bool everywhere =
            std::all_of(groups_.begin() + 1, groups_.end(),
                        [&](const auto& group) { return group.value(keysym).contains(place); });
        if (everywhere) return place.evdevCode;
    }
    return 0;
}

std::optional<DesktopLayout::Place> DesktopLayout::place(xkb_keysym_t keysym) const {
    for (int level = 0; level < kLevels; ++level)
        if (const int code = key(keysym, level)) return Place{code, level};
    return std::nullopt;
}
