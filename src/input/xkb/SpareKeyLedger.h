// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QList>
#include <QSet>

#include <array>
#include <optional>

#include <xkbcommon/xkbcommon.h>

// Which level of which spare key is lent which symbol, and when a level may take another.
//
// A program looks a key event up with the keymap it last fetched, and Xlib fetches as soon as
// it has read the notice of a change, possibly before it has looked up the key events queued
// ahead of that notice; GTK fetches when it meets the next key event after the notice, and
// gets the keymap as it is then. So a level typed on keeps its symbol until the program has
// answered a ping sent after that (see X11KeymapReadWatch::ping), or for kHoldMs.
class SpareKeyLedger {
public:
    static constexpr int kHoldMs = 1000;
    static constexpr int kMaxLevels = 4;
    using Levels = std::array<xkb_keysym_t, kMaxLevels>;

    struct Slot {
        xkb_keycode_t key = 0;
        int level = 0;
        bool operator==(const Slot&) const = default;
    };

    // The symbols a key is given for its lent levels: a level lent nothing repeats the one
    // without Shift, or without the third-level modifier, so that a modifier held by the user
    // leaves the symbol as it is.
    static Levels filled(const Levels& levels, int count);

    // The spare keys and how many of their levels can be typed; symbols on keys or levels no
    // longer there are dropped.
    void setSlots(const QList<xkb_keycode_t>& keys, int levels);
    int slotCount() const { return int(keys_.size()) * levels_; }

    std::optional<Slot> slotOf(xkb_keysym_t sym) const;
    Levels levelsOf(xkb_keycode_t key) const;
    QList<xkb_keycode_t> lentKeys() const { return lent_.keys(); }

    // When: milliseconds on a steady clock, and how many pings had been sent.
    struct Moment {
        qint64 ms = 0;
        quint32 pings = 0;
    };

    // A slot for a new symbol, none of `taken`: one never lent (first levels first), else
    // the one used longest ago, once a later ping is answered (`pongs`: the latest answered)
    // or kHoldMs have passed.
    std::optional<Slot> slotToLend(const QSet<Slot>& taken, const Moment& now, quint32 pongs) const;
    // Milliseconds until the slot used longest ago, none of `taken`, is free.
    qint64 msUntilFree(const QSet<Slot>& taken, qint64 now) const;

    void lend(const Slot& slot, xkb_keysym_t sym);
    void used(const Slot& slot, const Moment& now);
    // The key's levels are no longer ours (someone else changed it, or lending it failed).
    void drop(xkb_keycode_t key);
    void clear();

private:
    struct Lent {
        Levels syms{};
        std::array<Moment, kMaxLevels> lastUse{};
        std::array<bool, kMaxLevels> typed{};
    };

    QList<xkb_keycode_t> keys_;
    int levels_ = 1;
    QHash<xkb_keycode_t, Lent> lent_;
};

inline size_t qHash(const SpareKeyLedger::Slot& slot, size_t seed = 0) {
    return qHashMulti(seed, slot.key, slot.level);
}
