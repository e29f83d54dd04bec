// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

struct wl_display;
struct wl_registry;
class QSocketNotifier;

// A connection of our own to the Wayland compositor, used only on the thread that opened it.
// Nothing waits on the compositor for ever: one that leaves our requests unread, or
// unanswered, for kPatienceMs counts as gone. A compositor that goes away or refuses a request
// ends the connection, never the process. Subclasses bind the globals they use as the
// compositor announces them, and release what they bound in their destructor.
class WaylandConnection {
public:
    static constexpr int kPatienceMs = 5000;

    // Milliseconds of the monotonic clock, as input events carry them.
    static uint32_t now();

    virtual ~WaylandConnection();
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    QString name() const { return name_; }
    // From now on what the compositor sends is read on this thread as it arrives; onLost runs
    // once, from the event loop and in receiver's context, after the connection ended. The
    // receiver may destroy the connection then.
    void watch(QObject* receiver, std::function<void()> onLost);
    // Handles what the compositor has sent so far, without waiting for more.
    void readEvents();
    // Sends the requests made so far, waiting while the compositor is slow to read them.
    // False once the connection has ended.
    bool flush();
    // Waits until the compositor has handled every request made so far.
    bool roundtrip();
    bool lost() const { return lost_; }
    // Why the connection ended.
    QString failure() const { return failure_; }

protected:
    WaylandConnection();
    // Connects to the display (an empty name means $WAYLAND_DISPLAY) and learns its globals;
    // false, with failure(), when it cannot.
    bool connectTo(const QString& name);
    virtual void globalAdded(wl_registry* registry, uint32_t name, const char* interface,
                             uint32_t version) = 0;
    virtual void globalRemoved(uint32_t name) { (void)name; }

private:
    void fail(const QString& why);
    QString displayError() const;

    wl_display* display_ = nullptr;
    QString name_;
    wl_registry* registry_ = nullptr;
    bool lost_ = false;
    QString failure_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::function<void()> onLost_;
    QPointer<QObject> receiver_;
};
