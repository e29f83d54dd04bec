#include "transport/bluez/LeAdvertisement.h"

#include "transport/bluez/LeAdvertisementAdaptor.h"

LeAdvertisement::LeAdvertisement(const QDBusConnection& connection, const AdvertisingData& data,
                                 std::function<void()> onRelease)
    : connection_(connection) {
    new LeAdvertisementAdaptor(&object_, data, std::move(onRelease));
}

LeAdvertisement::~LeAdvertisement() {
    if (exported_) connection_.unregisterObject(kPath);
}

std::optional<QString> LeAdvertisement::exportObject() {
    exported_ = connection_.registerObject(kPath, &object_, QDBusConnection::ExportAdaptors);
    if (!exported_) return QStringLiteral("cannot export %1 on the bus").arg(kPath);
    return std::nullopt;
}
