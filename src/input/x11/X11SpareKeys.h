// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/xkb/SpareKeyLedger.h"
#include "input/xkb/XKBKeymap.h"

#include <QHash>
#include <QList>
#include <QSet>

#include <memory>

#include <xkbcommon/xkbcommon.h>

class X11Connection;
class X11KeymapReadWatch;
typedef struct _XkbDesc* XkbDescPtr;

// The spare keys of the server's keymap, lent symbols on up to four levels (Shift, and the
// layout's third-level modifier) and given back.
//
// Every change reaches the server as one XKB request that spans the whole range of spare
// keys, the keys between them sent back unchanged. Xlib notes a map change when it reads the
// notice and fetches it when the program next looks a key up; a notice that arrives while
// such a fetch is under way is noted and then cleared with it, so a program (Tk reads its key
// events as they arrive) would look the key up with its old, empty symbols. When every notice
// spans the same range, every fetch asks for that range, and a change that arrived during a
// fetch was made before the server answered it: the answer already holds it.
//
// Every key changed is remembered with what it had until the server has taken it back, also
// when a change failed half-way, so nothing lent stays behind.
class X11SpareKeys {
public:
    using Levels = SpareKeyLedger::Levels;
    // How long a change waits for the program with the keyboard to read it.
    static constexpr int kReadWaitMs = 1000;

    explicit X11SpareKeys(X11Connection& connection);
    ~X11SpareKeys();

    // How many levels a lent key can have on the server's keymap now: 4 with a four-level key
    // type and a third-level modifier, else 2.
    int levelsAvailable();
    xkb_mod_mask_t levelThreeMask() const { return levelThreeMask_; }
    // The symbol a lent key gives under these effective modifiers.
    xkb_keysym_t symAt(xkb_keycode_t key, xkb_mod_mask_t mods) const;
    QList<xkb_keycode_t> lentKeys() const { return lent_.keys(); }

    // Gives each key these symbols on its levels, in one request spanning first..last, and
    // returns once the program with the keyboard has read them, or after kReadWaitMs. False
    // when the server refused; the keys are then not lent, but still given back later.
    bool lend(const QHash<xkb_keycode_t, Levels>& keys, xkb_keycode_t first, xkb_keycode_t last);
    // Gives every key we changed the symbols it had; false when the server refused.
    bool giveBack();
    // Lent keys that someone else changed since (a new layout, xmodmap) are no longer ours.
    void forgetKeysChangedElsewhere(const XKBKeymap& keymap);
    // The server went away, and the lent keys with it.
    void forget();

    // A ping to the program with the keyboard, answered once it has looked up every key
    // press sent before (see X11KeymapReadWatch::ping); true when it was answered within
    // kReadWaitMs.
    bool pingFocused();
    quint32 pingsSent() const;
    quint32 pongs() const;

private:
    // What a key had before it was lent: its types, groups, width and symbols; and every
    // symbol it was given since.
    struct Original {
        unsigned char types[4] = {};
        unsigned char groupInfo = 0;
        unsigned char width = 0;
        QList<unsigned long> syms;
        QSet<unsigned long> given;
    };

    static Original originalOf(XkbDescPtr xkb, xkb_keycode_t key);
    static bool putBack(XkbDescPtr xkb, xkb_keycode_t key, const Original& original);
    bool give(XkbDescPtr xkb, xkb_keycode_t key, const Levels& levels);
    bool holdsOursOrOriginal(XkbDescPtr xkb, xkb_keycode_t key) const;
    void findLevelThree(XkbDescPtr xkb);
    void forgetKeysChangedElsewhere(XkbDescPtr xkb);
    bool send(XkbDescPtr xkb);

    X11Connection& x_;
    std::unique_ptr<X11KeymapReadWatch> readWatch_;
    QHash<xkb_keycode_t, Levels> lent_;
    QHash<xkb_keycode_t, Original> originals_;
    xkb_keycode_t first_ = 0, last_ = 0;
    int fourLevelType_ = -1;
    xkb_mod_mask_t levelThreeMask_ = 0;
};
