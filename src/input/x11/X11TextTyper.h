#pragma once

#include "input/x11/KeyStrokePlanner.h"
#include "input/x11/XkbKeymap.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>

class X11Connection;

// Types text through the keyboard as the server has it: each character on the key and level
// that produce it in the current group, else on a spare key that is given its symbol for a
// while. A remapped key keeps its symbol until no text has needed one for kRemapHoldMs: a
// program reads the new mapping only when it handles the mapping notice, and the key must still
// mean that character then. Modifiers it presses or taps are put back after every character.
class X11TextTyper {
public:
    static constexpr int kRemapHoldMs = 1000;
    // When a text needs more spare keys than there are, a key is given a new symbol only this
    // long after its last use, so that programs have read the mapping it had then.
    static constexpr int kRemapReuseMs = 100;

    explicit X11TextTyper(X11Connection& connection);
    ~X11TextTyper();

    // Types every character it can, in order; the rest are named in one log line.
    void type(const QString& text, const XkbKeymap& keymap);
    // Gives the remapped keys their own symbols back.
    void restoreKeys();
    // The server went away and took the remapped keys with it.
    void forgetKeys();

private:
    struct Remapped {
        xkb_keysym_t sym = 0;
        qint64 lastUse = 0;  // milliseconds on clock_
    };

    KeyboardState readState() const;
    std::optional<KeyStroke> strokeFor(char32_t character, const XkbKeymap& keymap,
                                       const KeyStrokePlanner& planner);
    std::optional<xkb_keycode_t> remap(xkb_keysym_t sym, const XkbKeymap& keymap);
    std::optional<xkb_keycode_t> freeKey(const XkbKeymap& keymap);
    void send(const KeyStroke& stroke);
    void key(xkb_keycode_t key, bool down);

    X11Connection& x_;
    QHash<xkb_keycode_t, Remapped> remapped_;
    QHash<xkb_keycode_t, QList<unsigned long>> originals_;
    QElapsedTimer clock_;
    bool remappedThisText_ = false;
    std::unique_ptr<QTimer> restoreTimer_;
};
