// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/x11/X11TextTyper.h"

#include "base/Log.h"
#include "input/x11/X11Connection.h"
#include "input/xkb/TextCharacters.h"

#include <QThread>

#include <algorithm>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

X11TextTyper::X11TextTyper(X11Connection& connection) : x_(connection), spareKeys_(connection) {
    clock_.start();
    restoreTimer_ = std::make_unique<QTimer>();
    restoreTimer_->setSingleShot(true);
    restoreTimer_->setInterval(kRemapHoldMs);
    QObject::connect(restoreTimer_.get(), &QTimer::timeout, [this] { restoreKeys(); });
}

X11TextTyper::~X11TextTyper() {
    restoreKeys();
}

void X11TextTyper::type(const QString& text, const XKBKeymap& keymap) {
    spareKeys_.forgetKeysChangedElsewhere(keymap);
    const KeyStrokePlanner planner(keymap, readState());
    followKeymap(keymap, planner);
    const QList<char32_t> characters = TextCharacters::of(text);
    QList<char32_t> skipped;
    usedLentKeys_ = false;
    for (qsizetype next = 0; next < characters.size();) {
        const qsizetype end = lendKeysAhead(characters, next, planner);
        for (; next < end; ++next) {
            if (x_.lost()) return;
            const std::optional<KeyStroke> stroke = strokeFor(characters[next], planner);
            if (stroke)
                send(*stroke);
            else
                skipped.append(characters[next]);
        }
    }
    x_.flush();
    if (usedLentKeys_) restoreTimer_->start();
    if (!skipped.isEmpty() && !x_.lost())
        logLine(TextCharacters::skippedLine(skipped, characters.size()));
}

SpareKeyLedger::Moment X11TextTyper::now() const {
    return {clock_.elapsed(), spareKeys_.pingsSent()};
}

// The spare keys and the levels the layout's modifiers reach on them.
void X11TextTyper::followKeymap(const XKBKeymap& keymap, const KeyStrokePlanner& planner) {
    const QList<xkb_keycode_t> lent = spareKeys_.lentKeys();
    spare_ = keymap.spareKeys();
    for (xkb_keycode_t key : lent)
        if (!spare_.contains(key)) spare_.append(key);
    spare_.removeIf([](xkb_keycode_t key) { return key > XKBKeymap::kMaxKeycode; });
    const xkb_mod_mask_t shift = keymap.modMask(XKB_MOD_NAME_SHIFT);
    const xkb_mod_mask_t three = spareKeys_.levelThreeMask();
    int levels = spareKeys_.levelsAvailable();
    if (levels == 4 && !planner.canReach(three, shift | three)) levels = 2;
    if (!planner.canReach(0, shift)) levels = 1;
    ledger_.setSlots(spare_, levels);
    for (xkb_keycode_t key : ledger_.lentKeys())
        if (!lent.contains(key)) ledger_.drop(key);
}

// Lends spare levels to the characters from `from` on that the layout lacks, as many as have
// one to spare, in one change. Returns where the characters that have their levels end.
qsizetype X11TextTyper::lendKeysAhead(const QList<char32_t>& characters, qsizetype from,
                                      const KeyStrokePlanner& planner) {
    QHash<Slot, xkb_keysym_t> lending;
    QSet<Slot> taken;
    qsizetype end = from;
    for (; end < characters.size(); ++end) {
        const xkb_keysym_t sym = TextCharacters::keysym(characters[end]);
        if (sym == XKB_KEY_NoSymbol || onLayout(characters[end], planner)) continue;
        if (const std::optional<Slot> held = slotHolding(sym, lending)) {
            taken.insert(*held);
            continue;
        }
        std::optional<Slot> slot = ledger_.slotToLend(taken, now(), spareKeys_.pongs());
        if (!slot && end == from) slot = makeRoom(taken);
        if (!slot) break;
        lending.insert(*slot, sym);
        taken.insert(*slot);
    }
    if (!lending.isEmpty()) lend(lending);
    return std::max(end, from + 1);
}

// The level that has the symbol once `lending` is made.
std::optional<SpareKeyLedger::Slot> X11TextTyper::slotHolding(
    xkb_keysym_t sym, const QHash<Slot, xkb_keysym_t>& lending) const {
    for (auto it = lending.cbegin(); it != lending.cend(); ++it)
        if (*it == sym) return it.key();
    const std::optional<Slot> lent = ledger_.slotOf(sym);
    if (lent && !lending.contains(*lent)) return lent;
    return std::nullopt;
}

// Every level is lent and typed on lately: a ping answered frees them all, else waits for
// the one used longest ago.
std::optional<SpareKeyLedger::Slot> X11TextTyper::makeRoom(const QSet<Slot>& taken) {
    if (spareKeys_.pingFocused())
        if (std::optional<Slot> slot = ledger_.slotToLend(taken, now(), spareKeys_.pongs()))
            return slot;
    x_.flush();
    QThread::msleep(ledger_.msUntilFree(taken, now().ms));
    return ledger_.slotToLend(taken, now(), spareKeys_.pongs());
}

bool X11TextTyper::lend(const QHash<Slot, xkb_keysym_t>& lending) {
    for (auto it = lending.cbegin(); it != lending.cend(); ++it) ledger_.lend(it.key(), *it);
    QHash<xkb_keycode_t, SpareKeyLedger::Levels> keys;
    for (const Slot& slot : lending.keys()) keys.insert(slot.key, ledger_.levelsOf(slot.key));
    const auto [first, last] = std::minmax_element(spare_.cbegin(), spare_.cend());
    if (spareKeys_.lend(keys, *first, *last)) return true;
    for (xkb_keycode_t key : keys.keys()) ledger_.drop(key);
    return false;
}

bool X11TextTyper::onLayout(char32_t character, const KeyStrokePlanner& planner) const {
    const QList<xkb_keycode_t> lent = spareKeys_.lentKeys();
    return planner.plan(TextCharacters::onKey(character), {lent.cbegin(), lent.cend()}).has_value();
}

std::optional<KeyStroke> X11TextTyper::strokeFor(char32_t character,
                                                 const KeyStrokePlanner& planner) {
    const QList<xkb_keycode_t> lent = spareKeys_.lentKeys();
    if (std::optional<KeyStroke> stroke =
            planner.plan(TextCharacters::onKey(character), {lent.cbegin(), lent.cend()}))
        return stroke;
    const xkb_keysym_t sym = TextCharacters::keysym(character);
    const std::optional<Slot> slot = sym == XKB_KEY_NoSymbol ? std::nullopt : ledger_.slotOf(sym);
    if (!slot) return std::nullopt;
    std::optional<KeyStroke> stroke = planner.planRemapped(
        slot->key, sym, [&](xkb_mod_mask_t mods) { return spareKeys_.symAt(slot->key, mods); });
    if (!stroke) return std::nullopt;
    ledger_.used(*slot, now());
    usedLentKeys_ = true;
    return stroke;
}

void X11TextTyper::restoreKeys() {
    restoreTimer_->stop();
    if (!x_.lost() && !spareKeys_.giveBack())
        logLine(QStringLiteral("X11: the server refused to restore remapped keys"));
    ledger_.clear();
}

void X11TextTyper::forgetKeys() {
    restoreTimer_->stop();
    spareKeys_.forget();
    ledger_.clear();
}

KeyboardState X11TextTyper::readState() const {
    KeyboardState state;
    XkbStateRec xkb{};
    if (XkbGetState(x_.display(), XkbUseCoreKbd, &xkb) == Success) {
        state.baseMods = xkb.base_mods;
        state.latchedMods = xkb.latched_mods;
        state.lockedMods = xkb.locked_mods;
        state.baseGroup = xkb.base_group;
        state.latchedGroup = xkb.latched_group;
        state.lockedGroup = xkb.locked_group;
    }
    char keys[32] = {};
    XQueryKeymap(x_.display(), keys);
    for (int code = 0; code < 256; ++code)
        if (keys[code / 8] & (1 << (code % 8))) state.keysDown.set(code);
    return state;
}

void X11TextTyper::send(const KeyStroke& stroke) {
    stroke.replay([this](xkb_keycode_t key, bool down) {
        XTestFakeKeyEvent(x_.display(), key, down ? True : False, CurrentTime);
    });
}
