// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/InputBackend.h"

#include <memory>

struct Env;

// The backend named by OLVANE_INPUT_BACKEND ("auto" picks the best the session allows).
std::unique_ptr<InputBackend> createInputBackend(const Env& env);
