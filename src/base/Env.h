// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcessEnvironment>
#include <QString>

#include <optional>

// The environment variables that configure the agent, read once per process.
struct Env {
    bool dryRun = false;    // OLVANE_DRY_RUN present, whatever its value
    bool logInput = false;  // OLVANE_LOG_INPUT present, whatever its value
    std::optional<QString> wsPort;
    std::optional<QString> fixedCode;
    std::optional<QString> name;
    QString inputBackend = QStringLiteral("auto");
    QString cmdKey = QStringLiteral("ctrl");
    // --hidden only: no pairing window at the start once a phone is paired.
    bool hidden = false;
    // The desktop session, for the choice of input backend.
    std::optional<QString> x11Display;      // DISPLAY
    std::optional<QString> waylandDisplay;  // WAYLAND_DISPLAY

    static Env from(const QProcessEnvironment& environment);
};
