#pragma once

#include "transport/ble/BlePeripheral.h"

#include <QDBusConnection>
#include <QObject>

#include <functional>

// Our advertisement object, exported on our connection while this exists.
class LeAdvertisement {
public:
    static constexpr QLatin1String kPath{"/org/olvane/advertisement0"};

    LeAdvertisement(const QDBusConnection& connection, const AdvertisingData& data,
                    std::function<void()> onRelease);
    ~LeAdvertisement();

    // On failure returns why.
    std::optional<QString> exportObject();

private:
    QDBusConnection connection_;
    QObject object_;
    bool exported_ = false;
};
