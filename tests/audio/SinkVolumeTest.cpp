#include "audio/SinkVolume.h"

#include <gtest/gtest.h>

namespace {
pa_cvolume channels(std::initializer_list<pa_volume_t> values) {
    pa_cvolume v{};
    v.channels = quint8(values.size());
    std::copy(values.begin(), values.end(), v.values);
    return v;
}
}  // namespace

TEST(SinkVolume, levelIsTheChannelAverageCappedAtFull) {
    EXPECT_FLOAT_EQ(sinkLevel(channels({PA_VOLUME_NORM / 2, PA_VOLUME_NORM / 4})), 0.375f);
    EXPECT_FLOAT_EQ(sinkLevel(channels({PA_VOLUME_NORM * 3 / 2, PA_VOLUME_NORM * 3 / 2})), 1.0f);
}

TEST(SinkVolume, settingALevelKeepsTheBalanceAndReadsBackTheSameLevel) {
    const pa_cvolume set = sinkVolumeAt(channels({40000, 20000}), 0.6f);
    EXPECT_NEAR(double(set.values[0]) / set.values[1], 2.0, 1e-4);
    EXPECT_NEAR(sinkLevel(set), 0.6f, 1e-4);

    const pa_cvolume silent = sinkVolumeAt(channels({0, 0}), 0.37f);
    EXPECT_EQ(silent.values[0], silent.values[1]);
    EXPECT_EQ(std::lround(sinkLevel(silent) * 100), 37);

    const pa_cvolume loud = sinkVolumeAt(channels({PA_VOLUME_MAX, 1000}), 1.0f);
    EXPECT_LE(loud.values[0], PA_VOLUME_MAX);
}
