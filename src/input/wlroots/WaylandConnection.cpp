// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/wlroots/WaylandConnection.h"

#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

#include <QElapsedTimer>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include <poll.h>
#include <wayland-client.h>

namespace {
// How long a compositor may leave our requests unread, or unanswered, before it counts as gone.
constexpr int kPatienceMs = 5000;

template <typename T>
T* bind(wl_registry* registry, uint32_t name, const wl_interface& interface, uint32_t offered,
        uint32_t wanted) {
    return static_cast<T*>(wl_registry_bind(registry, name, &interface, std::min(offered, wanted)));
}
}  // namespace

std::unique_ptr<WaylandConnection> WaylandConnection::open(const QString& name, QString* error) {
    const QByteArray requested = name.toLocal8Bit();
    wl_display* display = wl_display_connect(name.isEmpty() ? nullptr : requested.constData());
    const QString shown = !name.isEmpty() ? name
                          : qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
                              ? QStringLiteral("wayland-0")
                              : qEnvironmentVariable("WAYLAND_DISPLAY");
    if (!display) {
        *error = QStringLiteral("cannot connect to Wayland display \"%1\": %2")
                     .arg(shown, QString::fromLocal8Bit(strerror(errno)));
        return nullptr;
    }
    std::unique_ptr<WaylandConnection> connection(new WaylandConnection(display, shown));
    static const wl_registry_listener listener = {&global, &globalRemoved};
    connection->registry_ = wl_display_get_registry(display);
    wl_registry_add_listener(connection->registry_, &listener, connection.get());
    // The globals, then what the outputs tell about themselves.
    if (!connection->roundtrip() || !connection->roundtrip()) {
        *error = connection->failure();
        return nullptr;
    }
    return connection;
}

bool WaylandConnection::offersVirtualInput(const QString& name) {
    QString error;
    const std::unique_ptr<WaylandConnection> connection = open(name, &error);
    return connection && connection->seat() && connection->pointerManager() &&
           connection->keyboardManager();
}

uint32_t WaylandConnection::now() {
    timespec time{};
    clock_gettime(CLOCK_MONOTONIC, &time);
    return uint32_t(qint64(time.tv_sec) * 1000 + time.tv_nsec / 1000000);
}

WaylandConnection::WaylandConnection(wl_display* display, QString name)
    : display_(display), name_(std::move(name)), outputs_(std::make_unique<WaylandOutputs>()) {}

WaylandConnection::~WaylandConnection() {
    notifier_.reset();
    if (pointerManager_) zwlr_virtual_pointer_manager_v1_destroy(pointerManager_);
    if (keyboardManager_) zwp_virtual_keyboard_manager_v1_destroy(keyboardManager_);
    if (seat_) wl_seat_destroy(seat_);
    outputs_.reset();
    if (registry_) wl_registry_destroy(registry_);
    wl_display_disconnect(display_);
}

void WaylandConnection::global(void* data, wl_registry* registry, uint32_t name,
                               const char* interface, uint32_t version) {
    auto* self = static_cast<WaylandConnection*>(data);
    const QLatin1String is(interface);
    if (is == QLatin1String(wl_seat_interface.name) && !self->seat_) {
        self->seat_ = bind<wl_seat>(registry, name, wl_seat_interface, version, 1);
    } else if (is == QLatin1String(wl_output_interface.name)) {
        self->outputs_->add(name, bind<wl_output>(registry, name, wl_output_interface, version, 3));
    } else if (is == QLatin1String(zxdg_output_manager_v1_interface.name)) {
        self->outputs_->setXdgManager(bind<zxdg_output_manager_v1>(
            registry, name, zxdg_output_manager_v1_interface, version, 2));
    } else if (is == QLatin1String(zwlr_virtual_pointer_manager_v1_interface.name)) {
        self->pointerManager_ = bind<zwlr_virtual_pointer_manager_v1>(
            registry, name, zwlr_virtual_pointer_manager_v1_interface, version, 1);
    } else if (is == QLatin1String(zwp_virtual_keyboard_manager_v1_interface.name)) {
        self->keyboardManager_ = bind<zwp_virtual_keyboard_manager_v1>(
            registry, name, zwp_virtual_keyboard_manager_v1_interface, version, 1);
    }
}

void WaylandConnection::globalRemoved(void* data, wl_registry*, uint32_t name) {
    static_cast<WaylandConnection*>(data)->outputs_->remove(name);
}

void WaylandConnection::watch(QObject* receiver, std::function<void()> onLost) {
    receiver_ = receiver;
    onLost_ = std::move(onLost);
    context_ = std::make_unique<QObject>();
    notifier_ =
        std::make_unique<QSocketNotifier>(wl_display_get_fd(display_), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, context_.get(),
                     [this] { readEvents(); });
}

void WaylandConnection::readEvents() {
    if (lost_) return;
    while (wl_display_prepare_read(display_) != 0)
        if (wl_display_dispatch_pending(display_) < 0) return fail(displayError());
    if (wl_display_read_events(display_) < 0 || wl_display_dispatch_pending(display_) < 0)
        fail(displayError());
}

bool WaylandConnection::flush() {
    if (lost_) return false;
    int waited = 0;
    while (wl_display_flush(display_) < 0) {
        if (errno != EAGAIN || waited >= kPatienceMs) {
            fail(errno == EAGAIN ? QStringLiteral("the compositor stopped reading")
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
            fail(QStringLiteral("the compositor does not answer"));
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
