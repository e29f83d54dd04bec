// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/wayland/WaylandConnection.h"

#include <QElapsedTimer>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include <poll.h>
#include <wayland-client.h>

uint32_t WaylandConnection::now() {
    timespec time{};
    clock_gettime(CLOCK_MONOTONIC, &time);
    return uint32_t(qint64(time.tv_sec) * 1000 + time.tv_nsec / 1000000);
}

WaylandConnection::WaylandConnection() = default;

WaylandConnection::~WaylandConnection() {
    notifier_.reset();
    if (registry_) wl_registry_destroy(registry_);
    if (display_) wl_display_disconnect(display_);
}

bool WaylandConnection::connectTo(const QString& name) {
    const QByteArray requested = name.toLocal8Bit();
    name_ = !name.isEmpty() ? name
            : qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
                ? QStringLiteral("wayland-0")
                : qEnvironmentVariable("WAYLAND_DISPLAY");
    display_ = wl_display_connect(name.isEmpty() ? nullptr : requested.constData());
    if (!display_) {
        fail(QStringLiteral("cannot connect to Wayland display \"%1\": %2")
                 .arg(name_, QString::fromLocal8Bit(strerror(errno))));
        return false;
    }
    static const wl_registry_listener listener = {
        [](void* self, wl_registry* registry, uint32_t global, const char* interface,
           uint32_t version) {
            static_cast<WaylandConnection*>(self)->globalAdded(registry, global, interface,
                                                               version);
        },
        [](void* self, wl_registry*, uint32_t global) {
            static_cast<WaylandConnection*>(self)->globalRemoved(global);
        },
    };
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &listener, this);
    return roundtrip();
}

void WaylandConnection::watch(QObject* receiver, std::function<void()> onLost) {
    receiver_ = receiver;
    onLost_ = std::move(onLost);
    notifier_ =
        std::make_unique<QSocketNotifier>(wl_display_get_fd(display_), QSocketNotifier::Read);
    // Ends with the notifier, that is with this connection.
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [this] { readEvents(); });
}

void WaylandConnection::readEvents() {
    if (lost_) return;
    while (wl_display_prepare_read(display_) != 0)
        if (wl_display_dispatch_pending(display_) < 0) return fail(displayError());
    // The socket does not block: with nothing to read this reads nothing.
    if (wl_display_read_events(display_) < 0 || wl_display_dispatch_pending(display_) < 0)
        fail(displayError());
}

bool WaylandConnection::flush() {
    if (lost_) return false;
    int waited = 0;
    while (wl_display_flush(display_) < 0) {
        if (errno != EAGAIN || waited >= kPatienceMs) {
            fail(errno == EAGAIN
                     ? QStringLiteral("the compositor of display %1 stopped reading").arg(name_)
                     : displayError());
            return false;
        }
        pollfd writable{wl_display_get_fd(display_), POLLOUT, 0};
        poll(&writable, 1, 100);
        waited += 100;
    }
    return true;
}

bool WaylandConnection::roundtrip() {
    if (lost_) return false;
    // wl_display_roundtrip would wait for ever on a compositor that hangs.
    static const wl_callback_listener listener = {
        [](void* answered, wl_callback*, uint32_t) { *static_cast<bool*>(answered) = true; }};
    bool answered = false;
    wl_callback* sync = wl_display_sync(display_);
    wl_callback_add_listener(sync, &listener, &answered);
    QElapsedTimer clock;
    clock.start();
    while (!answered && !lost_) {
        if (wl_display_prepare_read(display_) != 0) {
            if (wl_display_dispatch_pending(display_) < 0) fail(displayError());
            continue;
        }
        pollfd readable{wl_display_get_fd(display_), POLLIN, 0};
        const int left = int(std::max<qint64>(0, kPatienceMs - clock.elapsed()));
        if (!flush() || poll(&readable, 1, left) <= 0) {
            wl_display_cancel_read(display_);
            fail(QStringLiteral("the compositor of display %1 does not answer").arg(name_));
        } else if (wl_display_read_events(display_) < 0 ||
                   wl_display_dispatch_pending(display_) < 0) {
            fail(displayError());
        }
    }
    wl_callback_destroy(sync);
    return answered;
}

QString WaylandConnection::displayError() const {
    const int code = wl_display_get_error(display_);
    if (code == EPROTO) {
        const wl_interface* interface = nullptr;
        uint32_t id = 0;
        const uint32_t error = wl_display_get_protocol_error(display_, &interface, &id);
        return QStringLiteral("the compositor refused a request (%1 error %2)")
            .arg(QLatin1String(interface ? interface->name : "unknown"))
            .arg(error);
    }
    return QStringLiteral("lost the connection to the compositor (%1)")
        .arg(QString::fromLocal8Bit(strerror(code ? code : errno)));
}

void WaylandConnection::fail(const QString& why) {
    if (lost_) return;
    lost_ = true;
    failure_ = why;
    if (notifier_) notifier_->setEnabled(false);
    if (receiver_ && onLost_)
        QMetaObject::invokeMethod(receiver_.data(), onLost_, Qt::QueuedConnection);
}
