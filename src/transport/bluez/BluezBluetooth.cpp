// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/bluez/BluezBluetooth.h"

#include "base/Log.h"
#include "transport/ble/BLEServer.h"
#include "transport/bluez/BluezPeripheral.h"

std::unique_ptr<BLEServer> BluezBluetooth::start(AppState& state, Router& router) {
    if (!BluezPeripheral::bluezAnswers()) {
        logLine(QStringLiteral("BLE désactivé (BlueZ indisponible)"));
        return nullptr;
    }
    auto server = std::make_unique<BLEServer>(state, router);
    server->start([] { return std::make_unique<BluezPeripheral>(BluezPeripheral::Options{}); });
    return server;
}
