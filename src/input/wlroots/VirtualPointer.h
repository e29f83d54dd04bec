// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointF>

#include <cstdint>

struct zwlr_virtual_pointer_v1;

// A virtual pointer of the compositor: relative motion, buttons, and scrolling as a finger on a
// touchpad does it, pixels that follow the fingers and a stop when they rest, so that programs
// scroll smoothly and can glide on. Every call is one frame; the caller flushes.
class VirtualPointer {
public:
    // Takes ownership.
    explicit VirtualPointer(zwlr_virtual_pointer_v1* pointer);
    ~VirtualPointer();
    VirtualPointer(const VirtualPointer&) = delete;
    VirtualPointer& operator=(const VirtualPointer&) = delete;

    void move(QPointF step);
    // button: an evdev code (BTN_LEFT...).
    void button(int button, bool pressed);
    // Pixels in Wayland's directions: down and right are positive.
    void scroll(double vertical, double horizontal);
    // Ends the scroll on the axes that moved since the last stop.
    void stopScroll();

private:
    // One axis of the frame being built: pixels, or the stop when there are none.
    void axis(uint32_t axis, uint32_t time, double pixels);

    zwlr_virtual_pointer_v1* pointer_;
    bool scrolledVertically_ = false, scrolledHorizontally_ = false;
};
