// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/x11/X11SpareKeys.h"

#include "input/x11/X11Connection.h"
#include "input/x11/X11KeymapReadWatch.h"

#include <algorithm>
#include <memory>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

namespace {
struct DescDeleter {
    void operator()(XkbDescPtr xkb) const { XkbFreeKeyboard(xkb, XkbAllComponentsMask, True); }
};
using Desc = std::unique_ptr<XkbDescRec, DescDeleter>;

Desc fetch(Display* display) {
    Desc xkb(XkbGetMap(display, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd));
    return xkb && xkb->map ? std::move(xkb) : nullptr;
}

bool inRange(XkbDescPtr xkb, xkb_keycode_t key) {
    return key >= xkb->min_key_code && key <= xkb->max_key_code;
}

// The level a type gives for exactly these modifiers, or -1.
int levelFor(const XkbKeyTypeRec& type, unsigned mods) {
    if (mods == 0) return 0;
    for (int i = 0; i < type.map_count; ++i)
        if (type.map[i].active && type.map[i].mods.mask == mods) return type.map[i].level;
    return -1;
}
}  // namespace

X11SpareKeys::X11SpareKeys(X11Connection& connection)
    : x_(connection), readWatch_(X11KeymapReadWatch::start(connection)) {}

X11SpareKeys::~X11SpareKeys() = default;

int X11SpareKeys::levelsAvailable() {
    if (Desc xkb = fetch(x_.display())) findLevelThree(xkb.get());
    return fourLevelType_ >= 0 ? 4 : 2;
}

// A type of four levels chosen by Shift and one other real modifier (FOUR_LEVEL on usual
// keymaps, Lock ignored).
void X11SpareKeys::findLevelThree(XkbDescPtr xkb) {
    fourLevelType_ = -1;
    levelThreeMask_ = 0;
    for (int i = 0; i < xkb->map->num_types; ++i) {
        const XkbKeyTypeRec& type = xkb->map->types[i];
        const unsigned other = type.mods.mask & ~ShiftMask;
        if (type.num_levels != 4 || !(type.mods.mask & ShiftMask) || !other ||
            (other & (other - 1)) || (other & LockMask))
            continue;
        if (levelFor(type, ShiftMask) == 1 && levelFor(type, other) == 2 &&
            levelFor(type, ShiftMask | other) == 3) {
            fourLevelType_ = i;
            levelThreeMask_ = other;
            return;
        }
    }
}

xkb_keysym_t X11SpareKeys::symAt(xkb_keycode_t key, xkb_mod_mask_t mods) const {
    const auto it = lent_.constFind(key);
    if (it == lent_.cend()) return XKB_KEY_NoSymbol;
    const bool four = fourLevelType_ >= 0;
    return (*it)[((mods & ShiftMask) ? 1 : 0) + (four && (mods & levelThreeMask_) ? 2 : 0)];
}

bool X11SpareKeys::lend(const QHash<xkb_keycode_t, Levels>& keys, xkb_keycode_t first,
                        xkb_keycode_t last) {
    Desc xkb = fetch(x_.display());
    if (!xkb) return false;
    findLevelThree(xkb.get());
    forgetKeysChangedElsewhere(xkb.get());
    for (auto it = keys.cbegin(); it != keys.cend(); ++it)
        if (!inRange(xkb.get(), it.key())) return false;
    for (auto it = keys.cbegin(); it != keys.cend(); ++it) {
        if (!originals_.contains(it.key()))
            originals_.insert(it.key(), originalOf(xkb.get(), it.key()));
        if (!give(xkb.get(), it.key(), *it)) return false;
    }
    first_ = originals_.size() == keys.size() ? first : std::min(first_, first);
    last_ = originals_.size() == keys.size() ? last : std::max(last_, last);
    if (!send(xkb.get())) {
        for (xkb_keycode_t key : keys.keys()) lent_.remove(key);
        return false;
    }
    for (auto it = keys.cbegin(); it != keys.cend(); ++it)
        lent_.insert(it.key(), SpareKeyLedger::filled(*it, fourLevelType_ >= 0 ? 4 : 2));
    // Xlib drops a notice that arrives while it fetches an earlier change, and then looks the
    // keys up as they were: a program that has not read the change gets it once more.
    if (readWatch_ && !readWatch_->waitForFocusedReader(kReadWaitMs)) send(xkb.get());
    return true;
}

bool X11SpareKeys::giveBack() {
    if (originals_.isEmpty()) return true;
    Desc xkb = fetch(x_.display());
    if (!xkb) return false;
    forgetKeysChangedElsewhere(xkb.get());
    bool whole = true;
    for (auto it = originals_.cbegin(); it != originals_.cend(); ++it)
        whole = putBack(xkb.get(), it.key(), *it) && whole;
    if (!originals_.isEmpty() && !send(xkb.get())) return false;
    lent_.clear();
    originals_.clear();
    return whole;
}

void X11SpareKeys::forgetKeysChangedElsewhere(const XKBKeymap& keymap) {
    lent_.removeIf([&](const auto& entry) {
        const bool changed = keymap.keysym(XKBKeymap::toEvdev(entry.key())) != entry.value()[0];
        if (changed) originals_.remove(entry.key());
        return changed;
    });
}

void X11SpareKeys::forgetKeysChangedElsewhere(XkbDescPtr xkb) {
    originals_.removeIf([&](const auto& entry) {
        const bool changed = !holdsOursOrOriginal(xkb, entry.key());
        if (changed) lent_.remove(entry.key());
        return changed;
    });
}

bool X11SpareKeys::holdsOursOrOriginal(XkbDescPtr xkb, xkb_keycode_t key) const {
    if (!inRange(xkb, key)) return false;
    const Original& original = originals_[key];
    const KeySym* syms = XkbKeySymsPtr(xkb, key);
    for (int i = 0; i < XkbKeyNumSyms(xkb, key); ++i)
        if (syms[i] != NoSymbol && !original.given.contains(syms[i]) &&
            !original.syms.contains(syms[i]))
            return false;
    return true;
}

void X11SpareKeys::forget() {
    lent_.clear();
    originals_.clear();
}

bool X11SpareKeys::pingFocused() {
    const quint32 ping = readWatch_ ? readWatch_->ping() : 0;
    return ping && readWatch_->waitForPong(ping, kReadWaitMs);
}

quint32 X11SpareKeys::pingsSent() const {
    return readWatch_ ? readWatch_->pingsSent() : 0;
}

quint32 X11SpareKeys::pongs() const {
    return readWatch_ ? readWatch_->pongs() : 0;
}

X11SpareKeys::Original X11SpareKeys::originalOf(XkbDescPtr xkb, xkb_keycode_t key) {
    const XkbSymMapRec& map = xkb->map->key_sym_map[key];
    Original original;
    std::copy(std::begin(map.kt_index), std::end(map.kt_index), std::begin(original.types));
    original.groupInfo = map.group_info;
    original.width = map.width;
    const KeySym* syms = XkbKeySymsPtr(xkb, key);
    for (int i = 0; i < XkbKeyNumSyms(xkb, key); ++i) original.syms.append(syms[i]);
    return original;
}

bool X11SpareKeys::putBack(XkbDescPtr xkb, xkb_keycode_t key, const Original& original) {
    // Room first, while the key still counts its current symbols.
    KeySym* syms = XkbResizeKeySyms(xkb, key, int(original.syms.size()));
    if (!syms) return false;
    XkbSymMapRec& map = xkb->map->key_sym_map[key];
    std::copy(std::begin(original.types), std::end(original.types), std::begin(map.kt_index));
    map.group_info = original.groupInfo;
    map.width = original.width;
    std::copy(original.syms.cbegin(), original.syms.cend(), syms);
    return true;
}

bool X11SpareKeys::give(XkbDescPtr xkb, xkb_keycode_t key, const Levels& levels) {
    const int count = fourLevelType_ >= 0 ? 4 : 2;
    if (count < SpareKeyLedger::kMaxLevels &&
        std::any_of(levels.begin() + count, levels.end(), [](auto s) { return s != 0; }))
        return false;
    int type = fourLevelType_ >= 0 ? fourLevelType_ : XkbTwoLevelIndex;
    if (XkbChangeTypesOfKey(xkb, int(key), 1, XkbGroup1Mask, &type, nullptr) != Success ||
        XkbKeyNumSyms(xkb, key) != count)
        return false;
    const Levels filled = SpareKeyLedger::filled(levels, count);
    std::copy(filled.begin(), filled.begin() + count, XkbKeySymsPtr(xkb, key));
    for (int i = 0; i < count; ++i) originals_[key].given.insert(filled[i]);
    return true;
}

bool X11SpareKeys::send(XkbDescPtr xkb) {
    XkbMapChangesRec changes{};
    changes.changed = XkbKeySymsMask;
    changes.first_key_sym = std::max<int>(first_, xkb->min_key_code);
    changes.num_key_syms = std::min<int>(last_, xkb->max_key_code) - changes.first_key_sym + 1;
    if (changes.num_key_syms <= 0) return false;
    // Refusals of earlier requests are logged there, not taken for this one's.
    x_.sync();
    XkbChangeMap(x_.display(), xkb, &changes);
    const bool taken = x_.syncChecked();
    // Counted also when refused: the watch sees the request either way.
    if (readWatch_)
        readWatch_->changed(xkb_keycode_t(changes.first_key_sym),
                            xkb_keycode_t(changes.first_key_sym + changes.num_key_syms - 1));
    return taken;
}
