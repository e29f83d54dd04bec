// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/Router.h"
#include "state/AppState.h"
#include "support/InputHarness.h"

#include <QTemporaryDir>

// A router over a real state (in a temporary folder, code "4321") and a recording input.
struct RouterHarness : InputHarness {
    QTemporaryDir dir;
    std::unique_ptr<AppState> state =
        std::make_unique<AppState>(AppStateConfig{.wsPort = 0,
                                                  .fixedCode = "4321",
                                                  .name = "Bureau",
                                                  .tokenFile = dir.filePath("tokens.json")});
    std::unique_ptr<Router> router = std::make_unique<Router>(*state, *input, Router::Options{});
};
