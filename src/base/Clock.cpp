// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Clock.h"

#include <time.h>

double systemUptime() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}
