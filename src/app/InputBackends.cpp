// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/InputBackends.h"

#include "base/Env.h"
#include "base/Log.h"
#include "input/InputBackendChoice.h"
#include "input/none/NoneBackend.h"
#include "input/portal/PortalBackend.h"
#include "input/uinput/UinputBackend.h"
#include "input/uinput/UinputDevice.h"
#include "input/wlroots/WlrootsBackend.h"
#include "input/x11/X11Backend.h"

#include <QDBusConnection>

#include <vector>

namespace {
using Answer = std::function<void(InputBackendAvailability)>;

struct Kind {
    const char* name;
    // Whether the backend can work in the session the settings describe; on the input queue.
    std::function<void(const Env&, QObject* context, const Answer&)> probe;
    std::function<std::unique_ptr<InputBackend>(const Env&)> create;
};

QString given(const std::optional<QString>& value) {
    return value.value_or(QString());
}

// In the order the automatic choice tries them.
const std::vector<Kind>& kinds() {
    static const std::vector<Kind> all{
        {X11Backend::kName,
         [](const Env& env, QObject*, const Answer& answer) {
             answer(X11Backend::availability(given(env.x11Display), given(env.waylandDisplay)));
         },
         [](const Env& env) { return std::make_unique<X11Backend>(given(env.x11Display)); }},
        {PortalBackend::kName,
         [](const Env&, QObject* context, const Answer& answer) {
             PortalBackend::availability(QDBusConnection::sessionBus(), context, answer);
         },
         [](const Env& env) {
             return std::make_unique<PortalBackend>(
                 QDBusConnection::sessionBus(), RestoreTokenFile::defaultPath(),
                 ConfiguredLayout::system(), given(env.waylandDisplay));
         }},
        {WlrootsBackend::kName,
         [](const Env& env, QObject*, const Answer& answer) {
             answer(WlrootsBackend::availability(given(env.waylandDisplay)));
         },
         [](const Env& env) {
             return std::make_unique<WlrootsBackend>(given(env.waylandDisplay),
                                                     ConfiguredLayout::system());
         }},
        {UinputBackend::kName,
         [](const Env&, QObject*, const Answer& answer) { answer(UinputBackend::availability()); },
         [](const Env&) {
             return std::make_unique<UinputBackend>(&UinputDevice::create,
                                                    ConfiguredLayout::system());
         }},
    };
    return all;
}

const Kind* kindNamed(const QString& name) {
    for (const Kind& kind : kinds())
        if (name == QLatin1String(kind.name)) return &kind;
    return nullptr;
}

void chooseAutomatically(const Env& env, QObject* context, const Input::UseBackend& use) {
    QList<InputBackendCandidate> candidates;
    for (const Kind& kind : kinds())
        candidates.append({QLatin1String(kind.name), [&kind, env, context](Answer answer) {
                               kind.probe(env, context, answer);
                           }});
    chooseInputBackend(candidates, [env, use](const InputBackendChoice& choice) {
        const QString passed = choice.passedOver.join(QStringLiteral(", "));
        const QString chosen =
            choice.backend.isEmpty() ? QLatin1String(NoneBackend::kName) : choice.backend;
        logLine(QStringLiteral("Input backend: auto chose %1%2")
                    .arg(chosen,
                         passed.isEmpty() ? QString() : QStringLiteral("; passed over ") + passed));
        if (const Kind* kind = kindNamed(choice.backend))
            use(kind->create(env));
        else
            use(std::make_unique<NoneBackend>(QStringLiteral("nothing usable: ") + passed));
    });
}
}  // namespace

QStringList InputBackends::settingNames() {
    QStringList names{QStringLiteral("auto")};
    for (const Kind& kind : kinds()) names << QLatin1String(kind.name);
    return names << QLatin1String(NoneBackend::kName);
}

Input::BackendMaker InputBackends::maker(const Env& env) {
    return [env](QObject* context, const Input::UseBackend& use) {
        const QString& wanted = env.inputBackend;
        if (wanted == QLatin1String("auto")) return chooseAutomatically(env, context, use);
        if (const Kind* kind = kindNamed(wanted)) return use(kind->create(env));
        if (wanted == QLatin1String(NoneBackend::kName))
            return use(std::make_unique<NoneBackend>(QStringLiteral("asked for")));
        logWarning(QStringLiteral("Unknown input backend \"%1\"; using none").arg(wanted));
        use(std::make_unique<NoneBackend>(QStringLiteral("unknown backend asked for")));
    };
}
