// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/bluez/LEAdvertisementAdaptor.h"

LEAdvertisementAdaptor::LEAdvertisementAdaptor(QObject* object, const AdvertisingData& data,
                                               std::function<void()> onRelease)
    : QDBusAbstractAdaptor(object), localName_(data.localName), onRelease_(std::move(onRelease)) {
    for (const QString& uuid : data.serviceUUIDs) serviceUuids_.append(uuid.toLower());
}

void LEAdvertisementAdaptor::Release() {
    if (onRelease_) onRelease_();
}
