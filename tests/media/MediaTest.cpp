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

TEST(MediaPlayers, theFirstRowThatRunsIsChosenByItsExactIdOrAnInstanceOfIt) {
    const std::pair<QStringList, QString> cases[] = {
        {{"rhythmbox", "spotify"}, "spotify"},
        {{"mpv", "vlc.instance77"}, "vlc.instance77"},
        {{"io.github.celluloid_player.Celluloid", "totem"}, "totem"},
        {{"mpv.instance"}, "mpv.instance"},
        {{"VLC", "vlcx", "vlc.other", "Spotify", "mpv2"}, ""},
    };
    for (const auto& [ids, id] : cases) {
        QStringList names;
        for (const QString& each : ids) names << kPrefix + each;
        const auto choice = MediaPlayers::choose(names);
        EXPECT_EQ(choice ? choice->busName : QString(), id.isEmpty() ? id : kPrefix + id)
            << id.toStdString();
    }
    EXPECT_FALSE(
        MediaPlayers::choose({"vlc", "org.mpris.MediaPlayer2vlc", "org.freedesktop.DBus"}));
}

TEST(Media, aPlayerWithoutTheCallGetsAKeyPressNotALaterPlayer) {
    auto owned = std::make_unique<ListedBus>();
    ListedBus& bus = *owned;
    bus.listed = {kPrefix + "spotify", kPrefix + "mpv"};
    QStringList keys;
    Media media(std::move(owned), [&](const QString& key) { keys.append(key); });
    media.next();
    media.previous();
    media.playPause();
    EXPECT_EQ(keys, (QStringList{"right", "left"}));
    EXPECT_EQ(bus.called, QStringList{kPrefix + "mpv"});
}
