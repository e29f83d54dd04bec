#pragma once

#include <functional>
#include <memory>

class AppState;
class Router;

// The Bluetooth transport as the shell sees it: started with the other servers, stopped
// when the agent terminates.
class BluetoothService {
public:
    virtual ~BluetoothService() = default;
    // Withdraws the channel and the advertisement; called once, at termination.
    virtual void stop() = 0;
};

// Starts Bluetooth when the system offers it; returns nothing (after its own log line) when
// it does not.
using BluetoothStarter =
    std::function<std::unique_ptr<BluetoothService>(AppState& state, Router& router)>;
