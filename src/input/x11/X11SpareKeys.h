// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/xkb/XKBKeymap.h"

#include <QHash>
#include <QList>

#include <memory>
#include <optional>

#include <xkbcommon/xkbcommon.h>

class X11Connection;
class X11KeymapReadWatch;
typedef struct _XkbDesc* XkbDescPtr;

// The spare keys of the server's keymap, lent to characters the layout lacks and given back.
//
// Every change reaches the server as one XKB request that spans the whole range of spare
// keys, the keys between them sent back unchanged. Xlib notes a map change when it reads the
// notice and fetches it when the program next looks a key up; a notice that arrives while
// such a fetch is under way is noted and then cleared with it, so a program (Tk reads its key
// events as they arrive) would look the key up with its old, empty symbols. When every notice
// spans the same range, every fetch asks for that range, and a change that arrived during a
// fetch was made before the server answered it: the answer already holds it.
class X11SpareKeys {
public:
    // How long a lending waits for the program with the keyboard to read it.
    static constexpr int kReadWaitMs = 1000;

    explicit X11SpareKeys(X11Connection& connection);
    ~X11SpareKeys();

    // The key lent to this symbol, if any.
    std::optional<xkb_keycode_t> keyFor(xkb_keysym_t sym) const;
    QList<xkb_keycode_t> lentKeys() const { return lent_.keys(); }
    bool isLent(xkb_keycode_t key) const { return lent_.contains(key); }

    // Gives each key its symbol on both levels (Shift held elsewhere does not change it), in
    // one request spanning first..last, and returns once the program with the keyboard has
    // read them (see X11KeymapReadWatch), or after kReadWaitMs. False, and nothing lent, when
    // the server refused.
    bool lend(const QHash<xkb_keycode_t, xkb_keysym_t>& symbols, xkb_keycode_t first,
              xkb_keycode_t last);
    // Gives the lent keys the symbols they had; false when the server refused.
    bool giveBack();
    // Lent keys that someone else changed since (a new layout, xmodmap) are no longer ours.
    void forgetKeysChangedElsewhere(const XKBKeymap& keymap);
    // The server went away, and the lent keys with it.
    void forget();

private:
    // What a key had before it was lent: its types, groups, width and symbols.
    struct Original {
        unsigned char types[4] = {};
        unsigned char groupInfo = 0;
        unsigned char width = 0;
        QList<unsigned long> syms;
    };

    static Original originalOf(XkbDescPtr xkb, xkb_keycode_t key);
    static void putBack(XkbDescPtr xkb, xkb_keycode_t key, const Original& original);
    static bool give(XkbDescPtr xkb, xkb_keycode_t key, xkb_keysym_t sym);
    void forgetKeysChangedElsewhere(XkbDescPtr xkb);
    bool send(XkbDescPtr xkb);

    X11Connection& x_;
    std::unique_ptr<X11KeymapReadWatch> readWatch_;
    QHash<xkb_keycode_t, xkb_keysym_t> lent_;
    QHash<xkb_keycode_t, Original> originals_;
    xkb_keycode_t first_ = 0, last_ = 0;
};
