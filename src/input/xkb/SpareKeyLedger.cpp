// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/xkb/SpareKeyLedger.h"

#include <algorithm>

SpareKeyLedger::Levels SpareKeyLedger::filled(const Levels& levels, int count) {
    Levels all = levels;
    if (!all[1]) all[1] = all[0];
    if (!all[2] && !all[3]) all[2] = all[0], all[3] = all[1];
    if (!all[3]) all[3] = all[2];
    for (int level = count; level < kMaxLevels; ++level) all[level] = XKB_KEY_NoSymbol;
    return all;
}

void SpareKeyLedger::setSlots(const QList<xkb_keycode_t>& keys, int levels) {
    keys_ = keys;
    levels_ = std::clamp(levels, 1, kMaxLevels);
    lent_.removeIf([&](const auto& entry) {
        if (!keys_.contains(entry.key())) return true;
        for (int level = levels_; level < kMaxLevels; ++level)
            if (entry.value().syms[level] != XKB_KEY_NoSymbol) return true;
        return false;
    });
}

std::optional<SpareKeyLedger::Slot> SpareKeyLedger::slotOf(xkb_keysym_t sym) const {
    for (auto it = lent_.cbegin(); it != lent_.cend(); ++it)
        for (int level = 0; level < levels_; ++level)
            if (it->syms[level] == sym) return Slot{it.key(), level};
    return std::nullopt;
}

SpareKeyLedger::Levels SpareKeyLedger::levelsOf(xkb_keycode_t key) const {
    return lent_.value(key).syms;
}

std::optional<SpareKeyLedger::Slot> SpareKeyLedger::slotToLend(const QSet<Slot>& taken,
                                                               const Moment& now,
                                                               quint32 pongs) const {
    for (int level = 0; level < levels_; ++level)
        for (xkb_keycode_t key : keys_)
            if (!taken.contains({key, level}) && levelsOf(key)[level] == XKB_KEY_NoSymbol)
                return Slot{key, level};
    std::optional<Slot> oldest;
    qint64 oldestMs = 0;
    for (int level = 0; level < levels_; ++level) {
        for (xkb_keycode_t key : keys_) {
            const auto it = lent_.constFind(key);
            if (it == lent_.cend() || taken.contains({key, level})) continue;
            const Moment& use = it->lastUse[level];
            const bool typed = it->typed[level];
            if (typed && now.ms - use.ms < kHoldMs && pongs <= use.pings) continue;
            const qint64 ms = typed ? use.ms : -1;
            if (!oldest || ms < oldestMs) oldest = Slot{key, level}, oldestMs = ms;
        }
    }
    return oldest;
}

qint64 SpareKeyLedger::msUntilFree(const QSet<Slot>& taken, qint64 now) const {
    std::optional<qint64> soonest;
    for (auto it = lent_.cbegin(); it != lent_.cend(); ++it)
        for (int level = 0; level < levels_; ++level)
            if (it->typed[level] && !taken.contains({it.key(), level}))
                soonest =
                    std::min(soonest.value_or(kHoldMs), it->lastUse[level].ms + kHoldMs - now);
    return std::max<qint64>(0, soonest.value_or(0));
}

void SpareKeyLedger::lend(const Slot& slot, xkb_keysym_t sym) {
    Lent& lent = lent_[slot.key];
    lent.syms[slot.level] = sym;
    lent.typed[slot.level] = false;
}

void SpareKeyLedger::used(const Slot& slot, const Moment& now) {
    auto it = lent_.find(slot.key);
    if (it == lent_.end()) return;
    it->lastUse[slot.level] = now;
    it->typed[slot.level] = true;
}

void SpareKeyLedger::drop(xkb_keycode_t key) {
    lent_.remove(key);
}

void SpareKeyLedger::clear() {
    lent_.clear();
}
