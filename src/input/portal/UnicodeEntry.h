// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/portal/DesktopLayout.h"

#include <QList>

// How a character goes when the desktop's layout has no key for it: the way GTK and IBus let
// a person type any character, Ctrl+Shift+U, its code in hexadecimal, then Space. Programs
// take the sequence through IBus, the input method GNOME runs, or, without it, GTK programs
// take it themselves; a program with neither gets the digits as typed.
class UnicodeEntry {
public:
    struct Step {
        enum class Kind { Keycode, Keysym, Pause };
        Kind kind = Kind::Keycode;
        int value = 0;  // an evdev key code, an X keysym, or milliseconds
        bool pressed = false;
        bool operator==(const Step&) const = default;
    };
    // Who reads the sequence. IBus reads the digits' symbols, whatever the modifiers; GTK ends
    // the code as soon as Shift is let go after a digit.
    enum class Reader { IBus, Gtk };

    // IBus takes Ctrl+Shift+U, and the Space that ends the code, in its own time: keys sent
    // before it has switched reach the program as they are. Measured with Qt 6 through IBus
    // 1.5.27 on a busy machine: mixed up at 20 ms, now and then at 50 ms, whole at 100 ms.
    // GTK takes the sequence at once.
    static constexpr int kIBusPauseMs = 100;

    static QList<Step> steps(char32_t character, const DesktopLayout& layout, Reader reader);
};
