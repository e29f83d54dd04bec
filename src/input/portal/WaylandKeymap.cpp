// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/portal/WaylandKeymap.h"

#include "base/Log.h"
#include "input/xkb/XKBKeymap.h"

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include <wayland-client.h>

namespace {
// Version 1 of the seat brings the keymap and no events we would have to answer.
constexpr uint32_t kSeatVersion = 1;

const wl_registry_listener registryListener = {
    &WaylandKeymap::onGlobal,
    [](void*, wl_registry*, uint32_t) {},
};
const wl_seat_listener seatListener = {&WaylandKeymap::onCapabilities, nullptr};
const wl_keyboard_listener keyboardListener = {
    &WaylandKeymap::onKeymap,
    [](void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {},
    [](void*, wl_keyboard*, uint32_t, wl_surface*) {},
    [](void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t) {},
    [](void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {},
    nullptr,
};

std::optional<XKBKeymap> compile(int fd, uint32_t size) {
    void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (text == MAP_FAILED) return std::nullopt;
    // The text ends in a NUL within size.
    std::optional<XKBKeymap> keymap = XKBKeymap::compile(QByteArrayView(
        static_cast<const char*>(text), strnlen(static_cast<const char*>(text), size)));
    munmap(text, size);
    return keymap;
}
}  // namespace

std::unique_ptr<WaylandKeymap> WaylandKeymap::connect(const QString& display) {
    wl_display* connection = wl_display_connect(display.isEmpty() ? nullptr : qPrintable(display));
    if (!connection) return nullptr;
    return std::unique_ptr<WaylandKeymap>(new WaylandKeymap(connection));
}

WaylandKeymap::WaylandKeymap(wl_display* display) : display_(display) {
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &registryListener, this);
    // The seat, then its capabilities, then the keyboard's keymap.
    for (int i = 0; i < 3; ++i) roundtrip();
}

WaylandKeymap::~WaylandKeymap() {
    if (keyboard_) wl_keyboard_destroy(keyboard_);
    if (seat_) wl_seat_destroy(seat_);
    if (registry_) wl_registry_destroy(registry_);
    wl_display_disconnect(display_);
}

void WaylandKeymap::roundtrip() {
    if (wl_display_roundtrip(display_) < 0) lost();
}

void WaylandKeymap::refresh() {
    if (wl_display_get_error(display_) != 0) return;
    while (wl_display_prepare_read(display_) != 0) wl_display_dispatch_pending(display_);
    wl_display_flush(display_);
    pollfd ready{wl_display_get_fd(display_), POLLIN, 0};
    if (poll(&ready, 1, 0) > 0) {
        if (wl_display_read_events(display_) < 0) return lost();
    } else {
        wl_display_cancel_read(display_);
    }
    if (wl_display_dispatch_pending(display_) < 0) lost();
}

void WaylandKeymap::lost() {
    if (layout_.known())
        logLine(
            QStringLiteral("Keyboard: lost the connection to the Wayland compositor; "
                           "its layout is no longer followed"));
    layout_ = DesktopLayout();
}

void WaylandKeymap::onGlobal(void* self, wl_registry* registry, uint32_t name,
                             const char* interface, uint32_t) {
    auto* keymap = static_cast<WaylandKeymap*>(self);
    if (keymap->seat_ || std::strcmp(interface, wl_seat_interface.name) != 0) return;
    keymap->seat_ =
        static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, kSeatVersion));
    wl_seat_add_listener(keymap->seat_, &seatListener, self);
}

void WaylandKeymap::onCapabilities(void* self, wl_seat* seat, uint32_t capabilities) {
    auto* keymap = static_cast<WaylandKeymap*>(self);
    const bool hasKeyboard = capabilities & WL_SEAT_CAPABILITY_KEYBOARD;
    if (hasKeyboard && !keymap->keyboard_) {
        keymap->keyboard_ = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(keymap->keyboard_, &keyboardListener, self);
    } else if (!hasKeyboard && keymap->keyboard_) {
        wl_keyboard_destroy(keymap->keyboard_);
        keymap->keyboard_ = nullptr;
        keymap->layout_ = DesktopLayout();
    }
}

void WaylandKeymap::onKeymap(void* self, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
    auto* keymap = static_cast<WaylandKeymap*>(self);
    const std::optional<XKBKeymap> compiled =
        format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 ? compile(fd, size) : std::nullopt;
    close(fd);
    if (!compiled) {
        logLine(QStringLiteral("Keyboard: cannot read the Wayland compositor's keymap"));
        return;
    }
    keymap->layout_ = DesktopLayout(compiled->keymap());
}
