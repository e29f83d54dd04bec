// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <cstdlib>

// A broken invariant ends the run as a crash would, so that libFuzzer keeps the input.
inline void require(bool holds, const char* invariant) {
    if (holds) return;
    std::fprintf(stderr, "broken: %s\n", invariant);
    std::abort();
}
