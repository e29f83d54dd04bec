// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/wlroots/WaylandOutputs.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

struct wl_display;
struct wl_registry;
struct wl_seat;
struct zwlr_virtual_pointer_manager_v1;
struct zwp_virtual_keyboard_manager_v1;
class QSocketNotifier;

// The input backend's own connection to the Wayland compositor, used only on the thread that
// opened it: the seat, the managers of virtual pointers and keyboards, and the outputs. A
// compositor that goes away or refuses a request ends the connection, never the process.
class WaylandConnection {
public:
    // Opens the display (an empty name means $WAYLAND_DISPLAY) and learns its globals; null,
    // with the reason, when it cannot.
    static std::unique_ptr<WaylandConnection> open(const QString& name, QString* error);
    // Whether that compositor offers both a virtual pointer and a virtual keyboard.
    static bool offersVirtualInput(const QString& name);
    // Milliseconds of the monotonic clock, as input events carry them.
    static uint32_t now();

    ~WaylandConnection();
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    QString name() const { return name_; }
    wl_seat* seat() const { return seat_; }
    zwlr_virtual_pointer_manager_v1* pointerManager() const { return pointerManager_; }
    zwp_virtual_keyboard_manager_v1* keyboardManager() const { return keyboardManager_; }
    QList<QRectF> outputRects() const { return outputs_->rects(); }

    // From now on what the compositor sends is read on this thread; onLost runs once, from the
    // event loop and in receiver's context, after the connection ended. The receiver may
    // destroy the connection then.
    void watch(QObject* receiver, std::function<void()> onLost);
    // Sends the requests made so far, waiting while the compositor is slow to read them.
    // False once the connection has ended.
    bool flush();
    // Waits until the compositor has handled every request made so far.
    bool roundtrip();
    bool lost() const { return lost_; }
    // Why the connection ended.
    QString failure() const { return failure_; }

private:
    WaylandConnection(wl_display* display, QString name);
    void readEvents();
    void fail(const QString& why);
    QString displayError() const;

    static void global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                       uint32_t version);
    static void globalRemoved(void* data, wl_registry* registry, uint32_t name);

    wl_display* display_;
    QString name_;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    zwlr_virtual_pointer_manager_v1* pointerManager_ = nullptr;
    zwp_virtual_keyboard_manager_v1* keyboardManager_ = nullptr;
    std::unique_ptr<WaylandOutputs> outputs_;
    bool lost_ = false;
    QString failure_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::unique_ptr<QObject> context_;
    std::function<void()> onLost_;
    QPointer<QObject> receiver_;
};
