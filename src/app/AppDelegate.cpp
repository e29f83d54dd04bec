#include "app/AppDelegate.h"

#include "base/Env.h"
#include "base/Log.h"
#include "input/Input.h"
#include "router/Router.h"
#include "state/AppState.h"
#include "transport/WSServer.h"

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
}

void AppDelegate::applicationWillTerminate() {}
