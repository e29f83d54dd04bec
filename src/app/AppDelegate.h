#pragma once

#include <memory>

class AppState;
class BLEServer;
class Input;
class Router;
class WSServer;

// Brings the agent up in order and holds what it started for the life of the process.
class AppDelegate {
public:
    AppDelegate(AppState& state, Input& input);
    ~AppDelegate();

    void applicationDidFinishLaunching();
    void applicationWillTerminate();

private:
    void startServers();
    void startBluetooth();

    AppState& state_;
    Input& input_;
    std::unique_ptr<Router> router_;
    std::unique_ptr<WSServer> wsServer_;
    std::unique_ptr<BLEServer> bleServer_;
};
