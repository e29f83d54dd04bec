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
// that produce it in the current group, else on a level of a spare key lent its symbol (see
// SpareKeyLedger for when a level may be lent again). The characters a stretch of text lacks
// are lent their levels together, in one change, before the stretch is typed; keys are given
// back kRemapHoldMs after the last text. Modifiers it presses or taps are put back after
// every character.
class X11TextTyper {
public:
    static constexpr int kRemapHoldMs = SpareKeyLedger::kHoldMs;

    explicit X11TextTyper(X11Connection& connection);
    ~X11TextTyper();

    // Types every character it can, in order; the rest are named in one log line.
    void type(const QString& text, const XKBKeymap& keymap);
    // Gives the lent keys their own symbols back.
    void restoreKeys();
    // The server went away and took the lent keys with it.
    void forgetKeys();

private:
    using Slot = SpareKeyLedger::Slot;

    KeyboardState readState() const;
    SpareKeyLedger::Moment now() const;
    void followKeymap(const XKBKeymap& keymap, const KeyStrokePlanner& planner);
    qsizetype lendKeysAhead(const QList<char32_t>& characters, qsizetype from,
                            const KeyStrokePlanner& planner);
    std::optional<Slot> slotHolding(xkb_keysym_t sym,
                                    const QHash<Slot, xkb_keysym_t>& lending) const;
    std::optional<Slot> makeRoom(const QSet<Slot>& taken);
    bool lend(const QHash<Slot, xkb_keysym_t>& lending);
    bool onLayout(char32_t character, const KeyStrokePlanner& planner) const;
    std::optional<KeyStroke> strokeFor(char32_t character, const KeyStrokePlanner& planner);
    void send(const KeyStroke& stroke);

    X11Connection& x_;
    X11SpareKeys spareKeys_;
    SpareKeyLedger ledger_;
    QList<xkb_keycode_t> spare_;
    QElapsedTimer clock_;
    bool usedLentKeys_ = false;
    std::unique_ptr<QTimer> restoreTimer_;
};
