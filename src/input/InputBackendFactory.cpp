#include "input/InputBackendFactory.h"

#include "base/Env.h"
#include "base/Log.h"
#include "input/none/NoneBackend.h"
#include "input/x11/X11Backend.h"

namespace {
bool present(const std::optional<QString>& value) {
    return value && !value->isEmpty();
}

// "auto": X11 when the session is one. Wayland sessions (and no session at all) have no
// backend yet; the portal and uinput backends will take their turn here.
std::unique_ptr<InputBackend> automatic(const Env& env) {
    if (present(env.x11Display) && !present(env.waylandDisplay))
        return std::make_unique<X11Backend>(*env.x11Display);
    if (present(env.waylandDisplay))
        return std::make_unique<NoneBackend>(
            QStringLiteral("Wayland session; no Wayland input backend yet"));
    return std::make_unique<NoneBackend>(QStringLiteral("no window system backend available"));
}
}  // namespace

std::unique_ptr<InputBackend> createInputBackend(const Env& env) {
    const QString& wanted = env.inputBackend;
    if (wanted == QLatin1String("none"))
        return std::make_unique<NoneBackend>(QStringLiteral("asked for"));
    if (wanted == QLatin1String("x11"))
        return std::make_unique<X11Backend>(env.x11Display.value_or(QString()));
    if (wanted == QLatin1String("auto")) return automatic(env);
    logLine(QStringLiteral("Unknown input backend \"%1\"; using none").arg(wanted));
    return std::make_unique<NoneBackend>(QStringLiteral("unknown backend asked for"));
}
