#include "transport/bluez/LeAdvertisementAdaptor.h"

LeAdvertisementAdaptor::LeAdvertisementAdaptor(QObject* object, const AdvertisingData& data,
                                               std::function<void()> onRelease)
    : QDBusAbstractAdaptor(object), localName_(data.localName), onRelease_(std::move(onRelease)) {
    for (const QString& uuid : data.serviceUuids) serviceUuids_.append(uuid.toLower());
}

void LeAdvertisementAdaptor::Release() {
    if (onRelease_) onRelease_();
}
