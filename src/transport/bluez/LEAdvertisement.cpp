// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/bluez/LEAdvertisement.h"

#include "transport/bluez/LEAdvertisementAdaptor.h"

LEAdvertisement::LEAdvertisement(const QDBusConnection& connection, const AdvertisingData& data,
                                 std::function<void()> onRelease)
    : connection_(connection) {
    new LEAdvertisementAdaptor(&object_, data, std::move(onRelease));
}

LEAdvertisement::~LEAdvertisement() {
    if (exported_) connection_.unregisterObject(kPath);
}

std::optional<QString> LEAdvertisement::exportObject() {
    exported_ = connection_.registerObject(kPath, &object_, QDBusConnection::ExportAdaptors);
    if (!exported_) return QStringLiteral("cannot export %1 on the bus").arg(kPath);
    return std::nullopt;
}
