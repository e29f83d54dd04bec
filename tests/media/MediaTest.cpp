#include "media/Media.h"

#include <gtest/gtest.h>

namespace {
const QString kPrefix = "org.mpris.MediaPlayer2.";

// The names a bus lists, and the bus names Media calls.
struct ListedBus : PlayerBus {
    QStringList listed, called;
    QStringList names() override { return listed; }
    void call(const QString& busName, const PlayerCall&) override { called.append(busName); }
};
}  // namespace

// Players of the table on a real bus are in test_media.py; here, a later row with the call.
TEST(Media, theFirstRowThatRunsIsChosenAndWithoutTheCallItGetsAKeyPressNotALaterPlayer) {
    auto owned = std::make_unique<ListedBus>();
    ListedBus& bus = *owned;
    bus.listed = {kPrefix + "spotify", kPrefix + "mpv.instance7"};
    QStringList keys;
    Media media(std::move(owned), [&](const QString& key) { keys.append(key); });
    media.next();
    media.previous();
    media.playPause();
    EXPECT_EQ(keys, (QStringList{"right", "left"}));
    EXPECT_EQ(bus.called, QStringList{kPrefix + "mpv.instance7"});
}
