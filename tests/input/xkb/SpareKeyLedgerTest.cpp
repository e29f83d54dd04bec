// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/xkb/SpareKeyLedger.h"

#include <gtest/gtest.h>

using Slot = SpareKeyLedger::Slot;

TEST(SpareKeyLedger,
     firstLevelsFirstThenTheLevelUsedLongestAgoOnceALaterPingIsAnsweredOrItsTimePassed) {
    SpareKeyLedger ledger;
    ledger.setSlots({200, 201}, 2);
    QSet<Slot> taken;
    for (xkb_keysym_t sym : {1, 2, 3, 4}) {
        const auto slot = ledger.slotToLend(taken, {}, 0);
        ASSERT_TRUE(slot);
        ledger.lend(*slot, sym);
        taken.insert(*slot);
    }
    EXPECT_EQ(ledger.slotOf(3), (Slot{200, 1}));
    EXPECT_EQ(ledger.levelsOf(201), (SpareKeyLedger::Levels{2, 4, 0, 0}));
    // Lent but never typed: free again at once, unless taken.
    EXPECT_EQ(ledger.slotToLend({{200, 0}}, {}, 0), (Slot{201, 0}));

    ledger.used({201, 1}, {10, 1});
    ledger.used({200, 0}, {20, 1});
    ledger.used({201, 0}, {30, 1});
    ledger.used({200, 1}, {40, 2});
    // Typed after ping 1: free once ping 2 is answered, or a second later.
    EXPECT_FALSE(ledger.slotToLend({}, {1009, 2}, 1));
    EXPECT_EQ(ledger.slotToLend({}, {50, 2}, 2), (Slot{201, 1}));
    EXPECT_EQ(ledger.slotToLend({{201, 1}, {200, 0}, {201, 0}}, {50, 2}, 2), std::nullopt);
    EXPECT_EQ(ledger.msUntilFree({}, 50), 960);
    EXPECT_EQ(ledger.slotToLend({{201, 1}}, {1030, 2}, 0), (Slot{200, 0}));

    // A layout without Shift: the second levels are gone, their keys with them.
    ledger.setSlots({200, 201, 202}, 1);
    EXPECT_EQ(ledger.slotCount(), 3);
    EXPECT_FALSE(ledger.slotOf(1));
    EXPECT_EQ(ledger.slotToLend({}, {}, 0), (Slot{200, 0}));
}
