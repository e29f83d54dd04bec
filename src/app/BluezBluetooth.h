#pragma once

#include "app/BluetoothService.h"

#include <memory>

class BLEServer;

// Bluetooth LE through BlueZ, as the shell starts and stops it.
class BluezBluetooth : public BluetoothService {
public:
    // Starts the server when BlueZ answers on the system bus; otherwise logs why not.
    static std::unique_ptr<BluetoothService> startIfAvailable(AppState& state, Router& router);

    explicit BluezBluetooth(std::unique_ptr<BLEServer> server);
    ~BluezBluetooth() override;
    void stop() override;

private:
    std::unique_ptr<BLEServer> server_;
};
