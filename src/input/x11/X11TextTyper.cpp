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
    const QList<char32_t> characters = TextCharacters::of(text);
    QList<char32_t> skipped;
    usedLentKeys_ = false;
    for (qsizetype next = 0; next < characters.size();) {
        const qsizetype end = lendKeysAhead(characters, next, keymap, planner);
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

// Lends spare keys to the characters from `from` on that the layout lacks, as many as have a
// key to spare, in one change. Returns where the characters that have their keys end.
qsizetype X11TextTyper::lendKeysAhead(const QList<char32_t>& characters, qsizetype from,
                                      const XKBKeymap& keymap, const KeyStrokePlanner& planner) {
    QList<xkb_keycode_t> spare = keymap.spareKeys() + spareKeys_.lentKeys();
    spare.removeIf([](xkb_keycode_t key) { return key > XKBKeymap::kMaxKeycode; });
    QHash<xkb_keycode_t, xkb_keysym_t> lending;
    QSet<xkb_keycode_t> needed;
    qsizetype end = from;
    for (; end < characters.size(); ++end) {
        const xkb_keysym_t sym = TextCharacters::keysym(characters[end]);
        if (sym == XKB_KEY_NoSymbol || onLayout(characters[end], planner)) continue;
        if (const std::optional<xkb_keycode_t> held = keyHolding(sym, lending)) {
            needed.insert(*held);
            continue;
        }
        const std::optional<xkb_keycode_t> key = keyToLend(spare, lending, needed);
        if (!key) break;
        const qint64 wait = holdLeft(*key);
        if (wait > 0 && end > from) break;  // what has its keys first
        if (wait > 0) {
            x_.flush();
            QThread::msleep(wait);
        }
        lending.insert(*key, sym);
        needed.insert(*key);
    }
    if (!lending.isEmpty())
        spareKeys_.lend(lending, *std::min_element(spare.cbegin(), spare.cend()),
                        *std::max_element(spare.cbegin(), spare.cend()));
    return std::max(end, from + 1);
}

// The key that has the symbol once `lending` is made.
std::optional<xkb_keycode_t> X11TextTyper::keyHolding(
    xkb_keysym_t sym, const QHash<xkb_keycode_t, xkb_keysym_t>& lending) const {
    for (auto it = lending.cbegin(); it != lending.cend(); ++it)
        if (*it == sym) return it.key();
    const std::optional<xkb_keycode_t> lent = spareKeys_.keyFor(sym);
    if (lent && !lending.contains(*lent)) return lent;
    return std::nullopt;
}

// A spare key nobody has, else the one used longest ago that this stretch does not need.
std::optional<xkb_keycode_t> X11TextTyper::keyToLend(
    const QList<xkb_keycode_t>& spare, const QHash<xkb_keycode_t, xkb_keysym_t>& lending,
    const QSet<xkb_keycode_t>& needed) const {
    std::optional<xkb_keycode_t> oldest;
    for (xkb_keycode_t key : spare) {
        if (lending.contains(key) || needed.contains(key)) continue;
        if (!spareKeys_.isLent(key)) return key;
        if (!oldest || lastUse_.value(key) < lastUse_.value(*oldest)) oldest = key;
    }
    return oldest;
}

qint64 X11TextTyper::holdLeft(xkb_keycode_t key) const {
    const auto used = lastUse_.constFind(key);
    return used == lastUse_.cend() ? 0 : *used + kRemapHoldMs - clock_.elapsed();
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
    const std::optional<xkb_keycode_t> key =
        sym == XKB_KEY_NoSymbol ? std::nullopt : spareKeys_.keyFor(sym);
    if (!key) return std::nullopt;
    lastUse_.insert(*key, clock_.elapsed());
    usedLentKeys_ = true;
    return planner.planRemapped(*key, sym);
}

void X11TextTyper::restoreKeys() {
    restoreTimer_->stop();
    if (!x_.lost() && !spareKeys_.giveBack())
        logLine(QStringLiteral("X11: the server refused to restore remapped keys"));
    forgetKeys();
}

void X11TextTyper::forgetKeys() {
    restoreTimer_->stop();
    spareKeys_.forget();
    lastUse_.clear();
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
