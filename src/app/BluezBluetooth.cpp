#include "app/BluezBluetooth.h"

#include "base/Log.h"
#include "transport/ble/BLEServer.h"
#include "transport/bluez/BluezPeripheral.h"

std::unique_ptr<BluetoothService> BluezBluetooth::startIfAvailable(AppState& state,
                                                                   Router& router) {
    if (!BluezPeripheral::bluezAnswers()) {
        logLine(QStringLiteral("BLE désactivé (BlueZ indisponible)"));
        return nullptr;
    }
    auto server = std::make_unique<BLEServer>(state, router);
    server->start([] { return std::make_unique<BluezPeripheral>(BluezPeripheral::Options{}); });
    return std::make_unique<BluezBluetooth>(std::move(server));
}

BluezBluetooth::BluezBluetooth(std::unique_ptr<BLEServer> server) : server_(std::move(server)) {}

BluezBluetooth::~BluezBluetooth() = default;

void BluezBluetooth::stop() { server_->stop(); }
