// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/SinkVolume.h"

#include <gtest/gtest.h>

// Levels and the balance are checked on a real sound server in test_volume.py; silent channels
// are what it is never set to there.
TEST(SinkVolume, silentChannelsAreSetAlikeToTheLevelAsked) {
    pa_cvolume silent{};
    silent.channels = 2;
    const pa_cvolume set = sinkVolumeAt(silent, 0.37f);
    EXPECT_EQ(set.values[0], set.values[1]);
    EXPECT_EQ(std::lround(sinkLevel(set) * 100), 37);
}
