// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/wlroots/VirtualPointer.h"

#include "input/wayland/WaylandConnection.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

VirtualPointer::VirtualPointer(zwlr_virtual_pointer_v1* pointer) : pointer_(pointer) {}

VirtualPointer::~VirtualPointer() {
    zwlr_virtual_pointer_v1_destroy(pointer_);
}

void VirtualPointer::move(QPointF step) {
    zwlr_virtual_pointer_v1_motion(pointer_, WaylandConnection::now(),
                                   wl_fixed_from_double(step.x()), wl_fixed_from_double(step.y()));
    zwlr_virtual_pointer_v1_frame(pointer_);
}

void VirtualPointer::button(int button, bool pressed) {
    zwlr_virtual_pointer_v1_button(
        pointer_, WaylandConnection::now(), uint32_t(button),
        pressed ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
    zwlr_virtual_pointer_v1_frame(pointer_);
}

void VirtualPointer::scroll(double vertical, double horizontal) {
    const uint32_t time = WaylandConnection::now();
    if (vertical != 0) axis(WL_POINTER_AXIS_VERTICAL_SCROLL, time, vertical);
    if (horizontal != 0) axis(WL_POINTER_AXIS_HORIZONTAL_SCROLL, time, horizontal);
    scrolledVertically_ = scrolledVertically_ || vertical != 0;
    scrolledHorizontally_ = scrolledHorizontally_ || horizontal != 0;
    if (vertical != 0 || horizontal != 0) zwlr_virtual_pointer_v1_frame(pointer_);
}

void VirtualPointer::stopScroll() {
    if (!scrolledVertically_ && !scrolledHorizontally_) return;
    const uint32_t time = WaylandConnection::now();
    if (scrolledVertically_) axis(WL_POINTER_AXIS_VERTICAL_SCROLL, time, 0);
    if (scrolledHorizontally_) axis(WL_POINTER_AXIS_HORIZONTAL_SCROLL, time, 0);
    zwlr_virtual_pointer_v1_frame(pointer_);
    scrolledVertically_ = scrolledHorizontally_ = false;
}

void VirtualPointer::axis(uint32_t axis, uint32_t time, double pixels) {
    if (pixels == 0)
        zwlr_virtual_pointer_v1_axis_stop(pointer_, time, axis);
    else
        zwlr_virtual_pointer_v1_axis(pointer_, time, axis, wl_fixed_from_double(pixels));
    // The source follows its axis: wlroots 0.15 (Debian 12's sway) gives it to the axis named
    // last only, and a frame whose axes have different sources makes it abort.
    zwlr_virtual_pointer_v1_axis_source(pointer_, WL_POINTER_AXIS_SOURCE_FINGER);
}
