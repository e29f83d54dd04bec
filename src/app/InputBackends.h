// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/Input.h"

#include <QStringList>

struct Env;

// The backends input can reach the desktop through, and the one OLVANE_INPUT_BACKEND names.
namespace InputBackends {
// The values the setting takes: "auto", every backend's name, then "none".
QStringList settingNames();
// Makes the backend the settings name; "auto" the first that can work here, in the order
// x11, portal, wlroots, uinput, else none.
Input::BackendMaker maker(const Env& env);
}  // namespace InputBackends
