// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/portal/DesktopLayout.h"
#include "input/wayland/WaylandConnection.h"

#include <QString>

#include <memory>

struct wl_seat;
struct wl_keyboard;

// The keymap the Wayland compositor hands its clients with the keyboard: the layouts the
// desktop types with right now, which may differ from the configured one (GNOME keeps its
// own, and puts every input source it switches between into one keymap as groups). Its own
// connection to the compositor; changes are read by refresh().
class WaylandKeymap : public WaylandConnection {
public:
    // Connected to the compositor named by display ($WAYLAND_DISPLAY when empty), or null, with
    // the reason, when none answers.
    static std::unique_ptr<WaylandKeymap> connect(const QString& display, QString* error);
    ~WaylandKeymap() override;

    // Reads, without waiting, what the compositor sent since the last call.
    void refresh();
    // The current keymap; unknown while the compositor has given none (a seat without a
    // keyboard) or after the connection broke.
    const DesktopLayout& layout() const { return layout_; }

    // libwayland's listeners.
    static void onCapabilities(void* self, wl_seat* seat, uint32_t capabilities);
    static void onKeymap(void* self, wl_keyboard* keyboard, uint32_t format, int32_t fd,
                         uint32_t size);

private:
    WaylandKeymap() = default;
    void globalAdded(wl_registry* registry, uint32_t name, const char* interface,
                     uint32_t version) override;

    wl_seat* seat_ = nullptr;
    wl_keyboard* keyboard_ = nullptr;
    DesktopLayout layout_;
};
