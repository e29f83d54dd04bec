// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/wayland/WaylandConnection.h"
#include "input/wlroots/WaylandOutputs.h"

#include <QString>

#include <memory>
#include <optional>

struct wl_seat;
struct zwlr_virtual_pointer_manager_v1;
struct zwp_virtual_keyboard_manager_v1;

// The backend's connection to a wlroots compositor: the seat, the managers of virtual pointers
// and keyboards, and the outputs.
class WlrootsConnection : public WaylandConnection {
public:
    // Opens the display (an empty name means $WAYLAND_DISPLAY) and learns its globals and
    // outputs; null, with the reason, when it cannot.
    static std::unique_ptr<WlrootsConnection> open(const QString& name, QString* error);
    // Nothing when the compositor of that display offers both a virtual pointer and a virtual
    // keyboard; else why not.
    static std::optional<QString> virtualInputMissing(const QString& name);

    ~WlrootsConnection() override;

    wl_seat* seat() const { return seat_; }
    zwlr_virtual_pointer_manager_v1* pointerManager() const { return pointerManager_; }
    zwp_virtual_keyboard_manager_v1* keyboardManager() const { return keyboardManager_; }
    bool offersVirtualInput() const { return seat_ && pointerManager_ && keyboardManager_; }
    QList<QRectF> outputRects() const { return outputs_.rects(); }

private:
    WlrootsConnection() = default;
    void globalAdded(wl_registry* registry, uint32_t name, const char* interface,
                     uint32_t version) override;
    void globalRemoved(uint32_t name) override;

    wl_seat* seat_ = nullptr;
    zwlr_virtual_pointer_manager_v1* pointerManager_ = nullptr;
    zwp_virtual_keyboard_manager_v1* keyboardManager_ = nullptr;
    WaylandOutputs outputs_;
};
