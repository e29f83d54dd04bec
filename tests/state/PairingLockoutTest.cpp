// SPDX-License-Identifier: GPL-3.0-or-later
#include "state/AppState.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

// The right code is refused during a lockout too, as the end-to-end pairing test shows.
TEST(PairingLockout, fiveWrongCodesInARowLockForThirtySecondsDoublingUpToFifteenMinutes) {
    QTemporaryDir dir;
    double now = 0;
    AppState state{{.fixedCode = "1234", .tokenFile = dir.filePath("tokens.json"), .clock = [&] {
                        return now;
                    }}};
    auto fail = [&](int times) {
        for (int i = 0; i < times; ++i)
            ASSERT_EQ(state.checkPairingCode("0000"), PairingResult::WrongCode);
    };
    // A right code, or a new code, starts the count afresh.
    fail(4);
    EXPECT_EQ(state.checkPairingCode("1234"), PairingResult::Accepted);
    fail(4);
    state.regenerateCode();
    fail(5);
    EXPECT_EQ(state.pairingLockoutLeft(), 30);  // what the page counts down
    // Probes with a wrong code each second; the probe that gets through counts as the first
    // failure toward the next lockout.
    QList<double> lengths;
    for (int i = 0; i < 7; ++i) {
        const double start = now;
        while (state.checkPairingCode("0000") == PairingResult::LockedOut) now += 1;
        lengths.append(now - start);
        fail(4);
    }
    EXPECT_EQ(lengths, (QList<double>{30, 60, 120, 240, 480, 900, 900}));
}
