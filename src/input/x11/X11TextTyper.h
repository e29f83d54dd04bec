// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/x11/X11SpareKeys.h"
#include "input/xkb/KeyStrokePlanner.h"
#include "input/xkb/XKBKeymap.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>

class X11Connection;

// Types text through the keyboard as the server has it: each character on the key and level
// that produce it in the current group, else on a spare key lent its symbol for a while. The
// characters a stretch of text lacks are lent their keys together, in one change, before the
// stretch is typed. A program may look a key event up only after it has read a later change
// of that key, so a lent key keeps its symbol until kRemapHoldMs after its last use, both
// before it is given back and before it is lent to another character (a text that needs more
// spare keys than there are waits for one). Modifiers it presses or taps are put back after
// every character.
class X11TextTyper {
public:
    static constexpr int kRemapHoldMs = 1000;

    explicit X11TextTyper(X11Connection& connection);
    ~X11TextTyper();

    // Types every character it can, in order; the rest are named in one log line.
    void type(const QString& text, const XKBKeymap& keymap);
    // Gives the lent keys their own symbols back.
    void restoreKeys();
    // The server went away and took the lent keys with it.
    void forgetKeys();

private:
    KeyboardState readState() const;
    qsizetype lendKeysAhead(const QList<char32_t>& characters, qsizetype from,
                            const XKBKeymap& keymap, const KeyStrokePlanner& planner);
    std::optional<xkb_keycode_t> keyHolding(
        xkb_keysym_t sym, const QHash<xkb_keycode_t, xkb_keysym_t>& lending) const;
    std::optional<xkb_keycode_t> keyToLend(const QList<xkb_keycode_t>& spare,
                                           const QHash<xkb_keycode_t, xkb_keysym_t>& lending,
                                           const QSet<xkb_keycode_t>& needed) const;
    bool onLayout(char32_t character, const KeyStrokePlanner& planner) const;
    std::optional<KeyStroke> strokeFor(char32_t character, const KeyStrokePlanner& planner);
    qint64 holdLeft(xkb_keycode_t key) const;
    void send(const KeyStroke& stroke);

    X11Connection& x_;
    X11SpareKeys spareKeys_;
    QHash<xkb_keycode_t, qint64> lastUse_;  // milliseconds on clock_
    QElapsedTimer clock_;
    bool usedLentKeys_ = false;
    std::unique_ptr<QTimer> restoreTimer_;
};
