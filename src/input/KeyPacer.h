// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How fast key events may go to a Wayland compositor. The compositor hands every key event to
// the focused program and drops a program that stops reading while they pile up: typed at full
// speed, a long text made a GTK program busy for 0.3 s lose its connection and quit. Key
// events go at once up to a burst of a few words; beyond it, at a pace that a program busy
// for two seconds survives. Each compositor keeps its own amount for a program: its pace.
class KeyPacer {
public:
    struct Pace {
        double burst = 40;
        double perSecond = 200;
    };

    KeyPacer();
    explicit KeyPacer(Pace pace) : pace_(pace), allowance_(pace.burst) {}
    void setPace(Pace pace);

    // Milliseconds to wait, at `now` (monotonic seconds), before the next key event may go;
    // 0: it may go now, and it is counted.
    int delayBeforeKey(double now);

private:
    Pace pace_;
    double allowance_;
    double last_ = -1;
};
