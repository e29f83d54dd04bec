// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/bluez/BluezDBus.h"

#include <QDBusMetaType>

#include <mutex>

namespace Bluez {
void registerTypes() {
    static std::once_flag once;
    std::call_once(once, [] {
        qDBusRegisterMetaType<Interfaces>();
        qDBusRegisterMetaType<ManagedObjects>();
    });
}

QString describe(const QDBusError& error) {
    if (error.message().isEmpty()) return error.name();
    return QStringLiteral("%1 (%2)").arg(error.message(), error.name());
}
}  // namespace Bluez
