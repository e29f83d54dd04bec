// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Agent.h"

#include "app/InputBackends.h"
#include "audio/PulseVolume.h"
#include "base/Env.h"
#include "input/QtInputClock.h"
#include "media/Media.h"
#include "media/mpris/MPRISBus.h"
#include "transport/ble/BLEServer.h"
#include "transport/bluez/BluezBluetooth.h"

#include <QDBusConnection>

namespace {
Shell::Options shellOptions(const Env& env) {
    Shell::Options options;
    options.bluetooth = &BluezBluetooth::start;
    options.hidden = env.hidden;
    return options;
}
}  // namespace

Agent::Agent(const Env& env)
    : state_(AppStateConfig::fromEnv(env)),
      input_(InputBackends::maker(env), std::make_unique<QtInputClock>(),
             Input::Options::fromEnv(env)),
      router_(state_, input_, Router::Options::fromEnv(env)),
      shell_(state_, input_, router_, shellOptions(env)),
      volumeEvents_([this] { router_.volumeMayHaveChanged(); }) {
    input_.setVolumeControl(std::make_unique<PulseVolume>());
    // A media command no player takes becomes a key press in the focused window.
    input_.setMediaControl(
        std::make_unique<Media>(std::make_unique<MPRISBus>(QDBusConnection::sessionBus()),
                                [this](const QString& key) { input_.pressKey(key, {}); }));
}

Agent::~Agent() {
    // A transport held back by input that waits for the desktop must not hold up the shutdown.
    input_.stopThrottling();
}
