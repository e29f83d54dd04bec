// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/xkb/KeyStrokePlanner.h"
#include "input/xkb/XKBKeymap.h"

#include <QList>

#include <functional>

class VirtualKeyboard;

// Types text on the virtual keyboard. Characters of the user's layout go on its keys; for the
// others a keymap that adds them on spare keys is uploaded first, and the layout's keymap again
// after the text, so that named keys and layout characters that follow are read as the layout
// says. The compositor handles our requests in order: keys sent after a keymap are read through
// it, with no wait. A text with more such characters than there are spare keys is typed in parts,
// each with a keymap of its own.
class WaylandTextTyper {
public:
    // flush sends what was asked so far; false when the compositor is gone.
    WaylandTextTyper(VirtualKeyboard& keyboard, const XKBKeymap& layout,
                     std::function<bool()> flush);

    // Types what it can, in order; returns the characters that could not be typed.
    QList<char32_t> type(const QList<char32_t>& characters);

private:
    struct Part {
        QList<char32_t> characters;
        QList<xkb_keysym_t> added;
    };

    QList<Part> split(const QList<char32_t>& characters, QList<char32_t>& skipped) const;
    bool typePart(const Part& part, QList<char32_t>& skipped);

    VirtualKeyboard& keyboard_;
    const XKBKeymap& layout_;
    const std::function<bool()> flush_;
};
