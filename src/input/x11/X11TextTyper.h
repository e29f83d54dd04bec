#pragma once

#include "input/xkb/KeyStrokePlanner.h"
#include "input/xkb/XKBKeymap.h"

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
// while. Programs read a changed mapping only when they get to its notice, and by then the key
// must still mean what it meant when it went down: so a remapped key keeps its symbol until
// kRemapHoldMs after its last use, both before it is given back its own symbols and before it
// is given another character (a text that needs more spare keys than there are waits for
// one). Modifiers it presses or taps are put back after every character.
class X11TextTyper {
public:
    static constexpr int kRemapHoldMs = 1000;

    explicit X11TextTyper(X11Connection& connection);
    ~X11TextTyper();

    // Types every character it can, in order; the rest are named in one log line.
    void type(const QString& text, const XKBKeymap& keymap);
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
    std::optional<KeyStroke> strokeFor(char32_t character, const XKBKeymap& keymap,
                                       const KeyStrokePlanner& planner);
    std::optional<xkb_keycode_t> remap(xkb_keysym_t sym, const XKBKeymap& keymap);
    std::optional<xkb_keycode_t> freeKey(const XKBKeymap& keymap);
    void send(const KeyStroke& stroke);
    void key(xkb_keycode_t key, bool down);

    X11Connection& x_;
    QHash<xkb_keycode_t, Remapped> remapped_;
    QHash<xkb_keycode_t, QList<unsigned long>> originals_;
    QElapsedTimer clock_;
    bool remappedThisText_ = false;
    std::unique_ptr<QTimer> restoreTimer_;
};
