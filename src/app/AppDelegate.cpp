#include "app/AppDelegate.h"

#include "base/Env.h"
#include "base/Log.h"
#include "input/Input.h"
#include "router/Router.h"
#include "state/AppState.h"
#include "transport/WSServer.h"
#include "transport/ble/BLEServer.h"
#include "transport/bluez/BluezPeripheral.h"

AppDelegate::AppDelegate(AppState& state, Input& input)
    : state_(state),
      input_(input),
      router_(std::make_unique<Router>(state, input, Router::Options::fromEnv(Env::process()))) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching() {
    startServers();
    logLine(QStringLiteral("Olvane started. code: %1  ax: %2")
                .arg(state_.pairingCode(),
                     input_.trusted() ? QStringLiteral("true") : QStringLiteral("false")));
}

void AppDelegate::startServers() {
    wsServer_ = std::make_unique<WSServer>(state_, *router_);
    if (const std::optional<QString> error = wsServer_->start())
        logLine(QStringLiteral("Server start failed: %1").arg(*error));
    startBluetooth();
}

// Bluetooth LE: only where BlueZ answers on the system bus.
void AppDelegate::startBluetooth() {
    if (!BluezPeripheral::bluezAnswers()) {
        logLine(QStringLiteral("BLE désactivé (BlueZ indisponible)"));
        return;
    }
    bleServer_ = std::make_unique<BLEServer>(state_, *router_);
    bleServer_->start([] { return std::make_unique<BluezPeripheral>(BluezPeripheral::Options{}); });
}

void AppDelegate::applicationWillTerminate() {
    if (bleServer_) bleServer_->stop();
}
