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
    return Desc(XkbGetMap(display, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd));
}

bool holds(XkbDescPtr xkb, xkb_keycode_t key, xkb_keysym_t sym) {
    return key >= xkb->min_key_code && key <= xkb->max_key_code && XkbKeyNumSyms(xkb, key) > 0 &&
           XkbKeySym(xkb, key, 0) == sym;
}
}  // namespace

X11SpareKeys::X11SpareKeys(X11Connection& connection)
    : x_(connection), readWatch_(X11KeymapReadWatch::start(connection)) {}

X11SpareKeys::~X11SpareKeys() = default;

std::optional<xkb_keycode_t> X11SpareKeys::keyFor(xkb_keysym_t sym) const {
    for (auto it = lent_.cbegin(); it != lent_.cend(); ++it)
        if (*it == sym) return it.key();
    return std::nullopt;
}

bool X11SpareKeys::lend(const QHash<xkb_keycode_t, xkb_keysym_t>& symbols, xkb_keycode_t first,
                        xkb_keycode_t last) {
    Desc xkb = fetch(x_.display());
    if (!xkb || !xkb->map) return false;
    forgetKeysChangedElsewhere(xkb.get());
    for (auto it = symbols.cbegin(); it != symbols.cend(); ++it) {
        if (it.key() < xkb->min_key_code || it.key() > xkb->max_key_code) return false;
        if (!originals_.contains(it.key()))
            originals_.insert(it.key(), originalOf(xkb.get(), it.key()));
        if (!give(xkb.get(), it.key(), *it)) return false;
    }
    first_ = lent_.isEmpty() ? first : std::min(first_, first);
    last_ = lent_.isEmpty() ? last : std::max(last_, last);
    if (!send(xkb.get())) {
        for (xkb_keycode_t key : symbols.keys()) lent_.remove(key), originals_.remove(key);
        return false;
    }
    lent_.insert(symbols);
    if (readWatch_) readWatch_->waitForFocusedReader(kReadWaitMs);
    return true;
}

bool X11SpareKeys::giveBack() {
    if (lent_.isEmpty()) return true;
    Desc xkb = fetch(x_.display());
    bool sent = false;
    if (xkb && xkb->map) {
        forgetKeysChangedElsewhere(xkb.get());
        for (auto it = lent_.cbegin(); it != lent_.cend(); ++it)
            putBack(xkb.get(), it.key(), originals_.value(it.key()));
        sent = lent_.isEmpty() || send(xkb.get());
    }
    forget();
    return sent;
}

void X11SpareKeys::forgetKeysChangedElsewhere(const XKBKeymap& keymap) {
    lent_.removeIf([&](const auto& entry) {
        const bool changed = keymap.keysym(XKBKeymap::toEvdev(entry.key())) != entry.value();
        if (changed) originals_.remove(entry.key());
        return changed;
    });
}

void X11SpareKeys::forgetKeysChangedElsewhere(XkbDescPtr xkb) {
    lent_.removeIf([&](const auto& entry) {
        const bool changed = !holds(xkb, entry.key(), entry.value());
        if (changed) originals_.remove(entry.key());
        return changed;
    });
}

void X11SpareKeys::forget() {
    lent_.clear();
    originals_.clear();
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

void X11SpareKeys::putBack(XkbDescPtr xkb, xkb_keycode_t key, const Original& original) {
    // Room first, while the key still counts its current symbols.
    KeySym* syms = XkbResizeKeySyms(xkb, key, int(original.syms.size()));
    if (!syms) return;
    XkbSymMapRec& map = xkb->map->key_sym_map[key];
    std::copy(std::begin(original.types), std::end(original.types), std::begin(map.kt_index));
    map.group_info = original.groupInfo;
    map.width = original.width;
    std::copy(original.syms.cbegin(), original.syms.cend(), syms);
}

bool X11SpareKeys::give(XkbDescPtr xkb, xkb_keycode_t key, xkb_keysym_t sym) {
    int twoLevel = XkbTwoLevelIndex;
    if (XkbChangeTypesOfKey(xkb, int(key), 1, XkbGroup1Mask, &twoLevel, nullptr) != Success)
        return false;
    KeySym* syms = XkbKeySymsPtr(xkb, key);
    for (int i = 0; i < XkbKeyNumSyms(xkb, key); ++i) syms[i] = sym;
    return XkbKeyNumSyms(xkb, key) > 0;
}

bool X11SpareKeys::send(XkbDescPtr xkb) {
    XkbMapChangesRec changes{};
    changes.changed = XkbKeySymsMask;
    changes.first_key_sym = std::max<int>(first_, xkb->min_key_code);
    changes.num_key_syms = std::min<int>(last_, xkb->max_key_code) - changes.first_key_sym + 1;
    if (changes.num_key_syms <= 0) return false;
    XkbChangeMap(x_.display(), xkb, &changes);
    if (!x_.syncChecked()) return false;
    if (readWatch_)
        readWatch_->changed(xkb_keycode_t(changes.first_key_sym),
                            xkb_keycode_t(changes.first_key_sym + changes.num_key_syms - 1));
    return true;
}
