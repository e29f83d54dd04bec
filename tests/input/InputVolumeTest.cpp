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
        input->getVolume([&](int p, bool) { percent = p; });
        flush();
        return percent;
    }
};
}  // namespace

// The rounding, the steps and the mute toggle are checked on a real sound server in
// test_volume.py; these are the inputs it cannot produce.
TEST(InputVolume, percentagesAreClampedAndAnUnreadableOrNonFiniteLevelCountsAsOneHalf) {
    VolumeHarness h;
    for (int p : {150, -5}) h.input->setVolume(p);
    h.flush();
    EXPECT_EQ(h.volume->writes, (QList<float>{1.0f, 0.0f}));

    h.volume->reading = std::nanf("");
    EXPECT_EQ(h.read(), 50);
    h.volume->reading = INFINITY;
    EXPECT_EQ(h.read(), 50);
    h.volume->reading.reset();  // unreadable: the keys step from one half
    h.input->mediaKey("volumedown");
    h.flush();
    EXPECT_EQ(h.volume->writes.last(), 0.4375f);
}
