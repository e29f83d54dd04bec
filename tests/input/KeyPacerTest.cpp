// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/KeyPacer.h"

#include <gtest/gtest.h>

// Forty keys go at once; beyond them one every 5 ms, 200 a second; a rest gives back what it
// would have let through, up to forty.
TEST(KeyPacer, fortyKeysGoAtOnceThenTwoHundredASecondAndARestGivesKeysBack) {
    KeyPacer pacer;
    for (int i = 0; i < 40; ++i) ASSERT_EQ(pacer.delayBeforeKey(8), 0) << i;
    EXPECT_EQ(pacer.delayBeforeKey(8), 5);
    int sent = 0;
    for (int ms = 5; ms < 1005; ++ms) sent += pacer.delayBeforeKey(8 + ms / 1000.0) == 0;
    EXPECT_NEAR(sent, 200, 2);

    // A minute gives forty keys back, not more.
    for (int i = 0; i < 40; ++i) ASSERT_EQ(pacer.delayBeforeKey(70), 0) << i;
    EXPECT_GT(pacer.delayBeforeKey(70), 0);
}
