// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/portal/WaylandKeymap.h"

#include "base/Log.h"
#include "input/xkb/XKBKeymap.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include <wayland-client.h>

namespace {
// Version 1 of the seat brings the keymap and no events we would have to answer.
constexpr uint32_t kSeatVersion = 1;

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

std::unique_ptr<WaylandKeymap> WaylandKeymap::connect(const QString& display, QString* error) {
    std::unique_ptr<WaylandKeymap> keymap(new WaylandKeymap);
    // The seat, then its capabilities, then the keyboard's keymap.
    if (!keymap->connectTo(display) || !keymap->roundtrip() || !keymap->roundtrip()) {
        *error = keymap->failure();
        return nullptr;
    }
    return keymap;
}

WaylandKeymap::~WaylandKeymap() {
    if (keyboard_) wl_keyboard_destroy(keyboard_);
    if (seat_) wl_seat_destroy(seat_);
}

void WaylandKeymap::refresh() {
    readEvents();
    if (!lost() || !layout_.known()) return;
    logLine(QStringLiteral("Keyboard: %1; the Wayland compositor's layout is no longer followed")
                .arg(failure()));
    layout_ = DesktopLayout();
}

void WaylandKeymap::globalAdded(wl_registry* registry, uint32_t name, const char* interface,
                                uint32_t) {
    if (seat_ || std::strcmp(interface, wl_seat_interface.name) != 0) return;
    seat_ =
        static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, kSeatVersion));
    wl_seat_add_listener(seat_, &seatListener, this);
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
