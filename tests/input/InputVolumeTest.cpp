#include "support/InputHarness.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
struct VolumeHarness : InputHarness {
    RecordingVolume* volume;
    VolumeHarness() {
        auto v = std::make_unique<RecordingVolume>();
        volume = v.get();
        input->setVolumeControl(std::move(v));
    }
    int read() {
        int percent = -1;
        input->getVolume([&](int p) { percent = p; });
        flush();
        return percent;
    }
};
}  // namespace

TEST(InputVolume, percentagesAreClampedAndReadBackRoundingHalvesUp) {
    VolumeHarness h;
    for (int p : {150, -5, 37}) h.input->setVolume(p);
    h.flush();
    EXPECT_EQ(h.volume->writes, (QList<float>{1.0f, 0.0f, 0.37f}));

    h.volume->reading = 0.375f;
    EXPECT_EQ(h.read(), 38);
    h.volume->reading = 0.374f;
    EXPECT_EQ(h.read(), 37);
}

TEST(InputVolume, unreadableOrNonFiniteVolumeReadsAsFifty) {
    VolumeHarness h;
    h.volume->reading.reset();
    EXPECT_EQ(h.read(), 50);
    h.volume->reading = std::nanf("");
    EXPECT_EQ(h.read(), 50);
    h.volume->reading = INFINITY;
    EXPECT_EQ(h.read(), 50);
    h.volume->reading = 1.5f;  // above 100 % reads as full
    EXPECT_EQ(h.read(), 100);
}

TEST(InputVolume, volumeKeysStepBySixteenthsWithinRangeAndMuteToggles) {
    VolumeHarness h;
    h.volume->reading = 0.97f;
    h.input->mediaKey("VolumeUp");
    h.flush();
    EXPECT_EQ(h.volume->writes.last(), 1.0f);
    h.volume->reading.reset();  // unreadable: steps from one half
    h.input->mediaKey("volumedown");
    h.input->mediaKey("MUTE");
    h.input->mediaKey("mute");
    h.flush();
    EXPECT_EQ(h.volume->writes.last(), 0.4375f);
    EXPECT_EQ(h.volume->muteToggles, 2);
}

TEST(InputVolume, withoutADeviceReadsFiftyAndChangesNothing) {
    InputHarness h;
    int percent = -1;
    h.input->getVolume([&](int p) { percent = p; });
    h.input->setVolume(30);
    h.input->mediaKey("mute");
    h.flush();
    EXPECT_EQ(percent, 50);
}
