// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "transport/ble/BLEPeripheral.h"

#include <QDBusConnection>
#include <QObject>

#include <functional>

// Our advertisement object, exported on our connection while this exists.
class LEAdvertisement {
public:
    static constexpr QLatin1String kPath{"/org/olvane/advertisement0"};

    LEAdvertisement(const QDBusConnection& connection, const AdvertisingData& data,
                    std::function<void()> onRelease);
    ~LEAdvertisement();

    // On failure returns why.
    std::optional<QString> exportObject();

private:
    QDBusConnection connection_;
    QObject object_;
    bool exported_ = false;
};
