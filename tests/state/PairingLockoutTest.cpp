#include "state/AppState.h"
#include "support/LogCapture.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
struct LockoutHarness {
    QTemporaryDir dir;
    double now = 0;
    std::unique_ptr<AppState> state;

    LockoutHarness() {
        AppStateConfig c;
        c.tokenFile = dir.filePath("tokens.json");
        c.fixedCode = "1234";
        c.clock = [this] { return now; };
        state = std::make_unique<AppState>(c);
    }
    void fail(int times) {
        for (int i = 0; i < times; ++i)
            ASSERT_EQ(state->checkPairingCode("0000"), PairingResult::WrongCode);
    }
};
}  // namespace

TEST(PairingLockout, fiveWrongCodesRefuseEvenTheRightOneForThirtySeconds) {
    LogCapture log;
    LockoutHarness h;
    h.fail(4);
    EXPECT_EQ(h.state->pairingLockoutLeft(), 0);
    h.fail(1);
    EXPECT_EQ(h.state->pairingLockoutLeft(), 30);
    EXPECT_EQ(h.state->checkPairingCode("1234"), PairingResult::LockedOut);
    h.now = 29.5;
    EXPECT_EQ(h.state->checkPairingCode("1234"), PairingResult::LockedOut);
    EXPECT_EQ(h.state->pairingLockoutLeft(), 0.5);
    h.now = 30;
    EXPECT_EQ(h.state->checkPairingCode("1234"), PairingResult::Accepted);
    EXPECT_EQ(log.count("Pairing locked for 30 s after 5 wrong codes"), 1);
}

TEST(PairingLockout, eachFurtherLockoutDoublesUpToFifteenMinutes) {
    LockoutHarness h;
    // Probes with a wrong code each second; the probe that gets through counts as the first
    // failure toward the next lockout.
    auto lockoutLength = [&] {
        const double start = h.now;
        while (h.state->checkPairingCode("0000") == PairingResult::LockedOut) h.now += 1;
        return h.now - start;
    };
    h.fail(5);
    QList<double> lengths;
    for (int i = 0; i < 7; ++i) {
        lengths.append(lockoutLength());
        h.fail(4);
    }
    EXPECT_EQ(lengths, (QList<double>{30, 60, 120, 240, 480, 900, 900}));
}

TEST(PairingLockout, rightOrNewCodeStartsTheCountAfresh) {
    LockoutHarness h;
    h.fail(4);
    EXPECT_EQ(h.state->checkPairingCode("1234"), PairingResult::Accepted);
    h.fail(4);
    h.state->regenerateCode();
    h.fail(4);
    EXPECT_EQ(h.state->checkPairingCode("1234"), PairingResult::Accepted);
}
