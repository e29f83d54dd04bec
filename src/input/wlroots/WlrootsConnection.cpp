// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/wlroots/WlrootsConnection.h"

#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

#include <algorithm>

#include <wayland-client.h>

namespace {
template <typename T>
T* bind(wl_registry* registry, uint32_t name, const wl_interface& interface, uint32_t offered,
        uint32_t wanted) {
    return static_cast<T*>(wl_registry_bind(registry, name, &interface, std::min(offered, wanted)));
}
}  // namespace

std::unique_ptr<WlrootsConnection> WlrootsConnection::open(const QString& name, QString* error) {
    std::unique_ptr<WlrootsConnection> connection(new WlrootsConnection);
    // The globals, then what the outputs tell about themselves.
    if (!connection->connectTo(name) || !connection->roundtrip()) {
        *error = connection->failure();
        return nullptr;
    }
    return connection;
}

std::optional<QString> WlrootsConnection::virtualInputMissing(const QString& name) {
    QString error;
    const std::unique_ptr<WlrootsConnection> connection = open(name, &error);
    if (!connection) return error;
    if (!connection->offersVirtualInput())
        return QStringLiteral("the compositor offers no virtual pointer and keyboard");
    return std::nullopt;
}

WlrootsConnection::~WlrootsConnection() {
    if (pointerManager_) zwlr_virtual_pointer_manager_v1_destroy(pointerManager_);
    if (keyboardManager_) zwp_virtual_keyboard_manager_v1_destroy(keyboardManager_);
    if (seat_) wl_seat_destroy(seat_);
}

void WlrootsConnection::globalAdded(wl_registry* registry, uint32_t name, const char* interface,
                                    uint32_t version) {
    const QLatin1String is(interface);
    if (is == QLatin1String(wl_seat_interface.name) && !seat_) {
        seat_ = bind<wl_seat>(registry, name, wl_seat_interface, version, 1);
    } else if (is == QLatin1String(wl_output_interface.name)) {
        outputs_.add(name, bind<wl_output>(registry, name, wl_output_interface, version, 3));
    } else if (is == QLatin1String(zxdg_output_manager_v1_interface.name)) {
        outputs_.setXdgManager(bind<zxdg_output_manager_v1>(
            registry, name, zxdg_output_manager_v1_interface, version, 2));
    } else if (is == QLatin1String(zwlr_virtual_pointer_manager_v1_interface.name)) {
        pointerManager_ = bind<zwlr_virtual_pointer_manager_v1>(
            registry, name, zwlr_virtual_pointer_manager_v1_interface, version, 1);
    } else if (is == QLatin1String(zwp_virtual_keyboard_manager_v1_interface.name)) {
        keyboardManager_ = bind<zwp_virtual_keyboard_manager_v1>(
            registry, name, zwp_virtual_keyboard_manager_v1_interface, version, 1);
    }
}

void WlrootsConnection::globalRemoved(uint32_t name) {
    outputs_.remove(name);
}
