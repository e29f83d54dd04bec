// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

// Seconds of a monotonic clock (system uptime), as a function so tests can drive time.
using MonotonicClock = std::function<double()>;

double systemUptime();
