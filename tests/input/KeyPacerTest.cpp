// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/KeyPacer.h"

#include <gtest/gtest.h>

// A burst goes at once; beyond it keys wait their turn, and a rest gives the burst back.
TEST(KeyPacer, aBurstGoesAtOnceThenKeysKeepThePaceAndARestGivesTheBurstBack) {
    KeyPacer pacer;
    double now = 10;
    for (int i = 0; i < int(KeyPacer::kBurst); ++i) ASSERT_EQ(pacer.delayBeforeKey(now), 0) << i;
    const int wait = pacer.delayBeforeKey(now);
    EXPECT_EQ(wait, int(1000 / KeyPacer::kPerSecond));
    int sent = 0;
    for (now += wait / 1000.0; now < 11; now += 0.001) sent += pacer.delayBeforeKey(now) == 0;
    EXPECT_NEAR(sent, KeyPacer::kPerSecond, 2);
    now += 1;
    for (int i = 0; i < int(KeyPacer::kBurst); ++i) ASSERT_EQ(pacer.delayBeforeKey(now), 0) << i;
}
