// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/InputBackendFactory.h"

#include "base/Env.h"
#include "base/Log.h"
#include "input/InputBackendChoice.h"
#include "input/none/NoneBackend.h"
#include "input/portal/PortalBackend.h"
#include "input/uinput/UinputBackend.h"
#include "input/uinput/UinputDevice.h"
#include "input/wlroots/WaylandConnection.h"
#include "input/wlroots/WlrootsBackend.h"
#include "input/x11/X11Backend.h"

#include <QDBusConnection>

namespace {
// Long enough for the session bus to start the portal service on first use.
constexpr int kPortalProbeMs = 5000;

bool present(const std::optional<QString>& value) {
    return value && !value->isEmpty();
}

std::unique_ptr<InputBackend> named(const QString& backend, const Env& env) {
    if (backend == QLatin1String("x11"))
        return std::make_unique<X11Backend>(env.x11Display.value_or(QString()));
    if (backend == QLatin1String("portal"))
        return std::make_unique<PortalBackend>(
            QDBusConnection::sessionBus(), RestoreTokenFile::defaultPath(),
            ConfiguredLayout::system(), env.waylandDisplay.value_or(QString()));
    if (backend == QLatin1String("wlroots"))
        return std::make_unique<WlrootsBackend>(env.waylandDisplay.value_or(QString()),
                                                ConfiguredLayout::system());
    if (backend == QLatin1String("uinput"))
        return std::make_unique<UinputBackend>(&UinputDevice::create, ConfiguredLayout::system());
    return nullptr;
}

std::unique_ptr<InputBackend> automatic(const Env& env) {
    InputSessionFacts facts;
    facts.x11Display = present(env.x11Display);
    facts.waylandDisplay = present(env.waylandDisplay);
    facts.remoteDesktopPortal = [] {
        return RemoteDesktopSession::probe(QDBusConnection::sessionBus(), kPortalProbeMs)
            .has_value();
    };
    facts.wlrootsVirtualInput = [&env] {
        return WaylandConnection::offersVirtualInput(env.waylandDisplay.value_or(QString()));
    };
    facts.uinputWritable = &UinputDevice::writable;
    const InputBackendChoice choice = chooseInputBackend(facts);
    const QString passed = choice.passedOver.join(QStringLiteral(", "));
    logLine(QStringLiteral("Input backend: auto chose %1%2")
                .arg(choice.backend,
                     passed.isEmpty() ? QString() : QStringLiteral("; passed over ") + passed));
    if (std::unique_ptr<InputBackend> backend = named(choice.backend, env)) return backend;
    return std::make_unique<NoneBackend>(QStringLiteral("nothing usable: ") + passed);
}
}  // namespace

std::unique_ptr<InputBackend> createInputBackend(const Env& env) {
    const QString& wanted = env.inputBackend;
    if (wanted == QLatin1String("none"))
        return std::make_unique<NoneBackend>(QStringLiteral("asked for"));
    if (wanted == QLatin1String("auto")) return automatic(env);
    if (std::unique_ptr<InputBackend> backend = named(wanted, env)) return backend;
    logLine(QStringLiteral("Unknown input backend \"%1\"; using none").arg(wanted));
    return std::make_unique<NoneBackend>(QStringLiteral("unknown backend asked for"));
}
