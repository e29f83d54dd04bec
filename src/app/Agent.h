// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/Shell.h"
#include "audio/PulseSubscription.h"
#include "input/Input.h"
#include "router/Router.h"
#include "state/AppState.h"

struct Env;

// The composition root: builds every object of the agent from its settings, wires them
// together and owns them until the process ends. Created only once this copy is the one
// that runs, so that a second copy never touches the desktop or the token file.
class Agent {
public:
    explicit Agent(const Env& env);
    ~Agent();

    // Runs the shell until the agent quits; the process's exit status.
    int run() { return shell_.run(); }
    Shell& shell() { return shell_; }

private:
    AppState state_;
    Input input_;
    Router router_;
    Shell shell_;
    // Last: it reports to the router, and stops before anything else goes.
    PulseSubscription volumeEvents_;
};
