// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QList>

#include <optional>
#include <vector>

#include <xkbcommon/xkbcommon.h>

// Which keysyms the desktop types right through a keymap, and on which keys. Mutter types a
// keysym on the first key and level that has it, in keycode order, and reaches only three
// levels: alone, with Shift, with AltGr; a keysym found first on another level is typed as
// that key alone (on French AZERTY '<' comes out as 'z'), one not found is dropped. With
// several groups (GNOME puts every input source the user switches between into one keymap)
// only what every group types counts: the desktop uses the group in use, which its clients
// cannot see.
class DesktopLayout {
public:
    // No layout known: every keysym is taken to be typable.
    DesktopLayout() = default;
    explicit DesktopLayout(xkb_keymap* keymap);

    bool known() const { return !groups_.empty(); }
    bool types(xkb_keysym_t keysym) const;
    // The evdev code of a key that has the keysym at this level (0 alone, 1 with Shift) in
    // every group; 0 when there is none.
    int key(xkb_keysym_t keysym, int level) const;
    // The first key and level that type the keysym in every group, of the three levels the
    // desktop reaches; nothing when there is none.
    struct Place {
        int evdevCode;
        int level;
    };
    std::optional<Place> place(xkb_keysym_t keysym) const;

private:
    struct KeyLevel {
        int evdevCode;
        int level;
        bool operator==(const KeyLevel&) const = default;
    };
    // Every key and level of each keysym, in the order mutter searches them.
    std::vector<QHash<xkb_keysym_t, QList<KeyLevel>>> groups_;
};
