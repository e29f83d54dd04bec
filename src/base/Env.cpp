// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Env.h"

namespace {
std::optional<QString> valueOf(const QProcessEnvironment& env, const char* name) {
    const QString key = QString::fromLatin1(name);
    if (!env.contains(key)) return std::nullopt;
    return env.value(key);
}
}  // namespace

Env Env::from(const QProcessEnvironment& environment) {
    Env env;
    env.dryRun = environment.contains(QStringLiteral("OLVANE_DRY_RUN"));
    env.logInput = environment.contains(QStringLiteral("OLVANE_LOG_INPUT"));
    env.wsPort = valueOf(environment, "OLVANE_WS_PORT");
    env.fixedCode = valueOf(environment, "OLVANE_FIXED_CODE");
    env.name = valueOf(environment, "OLVANE_NAME");
    env.inputBackend =
        valueOf(environment, "OLVANE_INPUT_BACKEND").value_or(env.inputBackend).toLower();
    env.cmdKey = valueOf(environment, "OLVANE_CMD_KEY").value_or(env.cmdKey).toLower();
    env.x11Display = valueOf(environment, "DISPLAY");
    env.waylandDisplay = valueOf(environment, "WAYLAND_DISPLAY");
    return env;
}
