// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

class AppState;
class BLEServer;
class Router;

namespace BluezBluetooth {
// The Bluetooth LE server over BlueZ, started, when BlueZ answers on the system bus; otherwise
// nothing, after one log line.
std::unique_ptr<BLEServer> start(AppState& state, Router& router);
}  // namespace BluezBluetooth
