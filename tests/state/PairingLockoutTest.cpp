#include "state/AppState.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
// The code is 1234; the test moves the clock.
struct LockoutHarness {
    QTemporaryDir dir;
    double now = 0;
    AppState state{{.fixedCode = "1234", .tokenFile = dir.filePath("tokens.json"), .clock = [this] {
                        return now;
                    }}};

    void fail(int times) {
        for (int i = 0; i < times; ++i)
            ASSERT_EQ(state.checkPairingCode("0000"), PairingResult::WrongCode);
    }
};
}  // namespace

// The right code is refused during a lockout too, as the end-to-end pairing test shows.
TEST(PairingLockout, fiveWrongCodesInARowLockForThirtySecondsDoublingUpToFifteenMinutes) {
    LockoutHarness h;
    // A right code, or a new code, starts the count afresh.
    h.fail(4);
    EXPECT_EQ(h.state.checkPairingCode("1234"), PairingResult::Accepted);
    h.fail(4);
    h.state.regenerateCode();
    h.fail(5);
    EXPECT_EQ(h.state.pairingLockoutLeft(), 30);  // what the page counts down
    // Probes with a wrong code each second; the probe that gets through counts as the first
    // failure toward the next lockout.
    QList<double> lengths;
    for (int i = 0; i < 7; ++i) {
        const double start = h.now;
        while (h.state.checkPairingCode("0000") == PairingResult::LockedOut) h.now += 1;
        lengths.append(h.now - start);
        h.fail(4);
    }
    EXPECT_EQ(lengths, (QList<double>{30, 60, 120, 240, 480, 900, 900}));
}
