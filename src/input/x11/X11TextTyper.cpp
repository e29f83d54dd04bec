#include "input/x11/X11TextTyper.h"

#include "base/Log.h"
#include "input/x11/X11Connection.h"
#include "input/xkb/TextCharacters.h"

#include <QSet>
#include <QThread>

#include <algorithm>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

X11TextTyper::X11TextTyper(X11Connection& connection) : x_(connection) {
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
    const KeyStrokePlanner planner(keymap, readState());
    const QList<char32_t> characters = TextCharacters::of(text);
    QList<char32_t> skipped;
    remappedThisText_ = false;
    for (char32_t c : characters) {
        if (x_.lost()) return;
        const std::optional<KeyStroke> stroke = strokeFor(c, keymap, planner);
        if (stroke)
            send(*stroke);
        else
            skipped.append(c);
    }
    x_.flush();
    if (remappedThisText_) restoreTimer_->start();
    if (!skipped.isEmpty() && !x_.lost())
        logLine(TextCharacters::skippedLine(skipped, characters.size()));
}

std::optional<KeyStroke> X11TextTyper::strokeFor(char32_t character, const XKBKeymap& keymap,
                                                 const KeyStrokePlanner& planner) {
    const xkb_keysym_t sym = TextCharacters::keysym(character);
    if (sym == XKB_KEY_NoSymbol) return std::nullopt;
    for (auto it = remapped_.begin(); it != remapped_.end(); ++it) {
        if (it->sym != sym) continue;
        it->lastUse = clock_.elapsed();
        remappedThisText_ = true;
        return planner.planRemapped(it.key(), sym);
    }
    QSet<xkb_keycode_t> ours;
    for (auto it = remapped_.cbegin(); it != remapped_.cend(); ++it) ours.insert(it.key());
    if (std::optional<KeyStroke> stroke = planner.plan(TextCharacters::onKey(character), ours))
        return stroke;
    const std::optional<xkb_keycode_t> key = remap(sym, keymap);
    if (!key) return std::nullopt;
    return planner.planRemapped(*key, sym);
}

std::optional<xkb_keycode_t> X11TextTyper::freeKey(const XKBKeymap& keymap) {
    for (xkb_keycode_t key : keymap.spareKeys())
        if (!remapped_.contains(key)) return key;
    if (remapped_.isEmpty()) return std::nullopt;
    // All taken: the one used longest ago, once programs have had time to read what it typed.
    auto oldest = std::min_element(
        remapped_.cbegin(), remapped_.cend(),
        [](const Remapped& a, const Remapped& b) { return a.lastUse < b.lastUse; });
    const qint64 wait = oldest->lastUse + kRemapHoldMs - clock_.elapsed();
    if (wait > 0) {
        x_.flush();
        QThread::msleep(wait);
    }
    return oldest.key();
}

std::optional<xkb_keycode_t> X11TextTyper::remap(xkb_keysym_t sym, const XKBKeymap& keymap) {
    const std::optional<xkb_keycode_t> key = freeKey(keymap);
    if (!key || *key > 255) return std::nullopt;
    Display* display = x_.display();
    if (!originals_.contains(*key)) {
        int perKey = 0;
        KeySym* current = XGetKeyboardMapping(display, KeyCode(*key), 1, &perKey);
        QList<unsigned long> saved;
        for (int i = 0; current && i < perKey; ++i) saved.append(current[i]);
        if (current) XFree(current);
        originals_.insert(*key, saved);
    }
    // The same symbol on both levels: Shift held on the keyboard does not change it.
    KeySym both[2] = {sym, sym};
    XChangeKeyboardMapping(display, int(*key), 2, both, 1);
    // Handled before the key goes down, so the key event follows the mapping notice.
    if (!x_.syncChecked()) {
        remapped_.remove(*key);
        return std::nullopt;
    }
    remapped_.insert(*key, Remapped{sym, clock_.elapsed()});
    remappedThisText_ = true;
    return key;
}

void X11TextTyper::restoreKeys() {
    restoreTimer_->stop();
    if (originals_.isEmpty()) return;
    if (!x_.lost()) {
        Display* display = x_.display();
        for (auto it = originals_.cbegin(); it != originals_.cend(); ++it) {
            QList<KeySym> syms(it->cbegin(), it->cend());
            if (syms.isEmpty()) syms.append(NoSymbol);
            XChangeKeyboardMapping(display, int(it.key()), int(syms.size()), syms.data(), 1);
        }
        if (!x_.syncChecked())
            logLine(QStringLiteral("X11: the server refused to restore remapped keys"));
    }
    forgetKeys();
}

void X11TextTyper::forgetKeys() {
    restoreTimer_->stop();
    remapped_.clear();
    originals_.clear();
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
    for (xkb_keycode_t k : stroke.toggled) key(k, true), key(k, false);
    for (xkb_keycode_t k : stroke.held) key(k, true);
    key(stroke.key, true);
    key(stroke.key, false);
    for (auto k = stroke.held.crbegin(); k != stroke.held.crend(); ++k) key(*k, false);
    for (auto k = stroke.toggled.crbegin(); k != stroke.toggled.crend(); ++k)
        key(*k, true), key(*k, false);
}

void X11TextTyper::key(xkb_keycode_t key, bool down) {
    XTestFakeKeyEvent(x_.display(), key, down ? True : False, CurrentTime);
}
