#include "media/Media.h"

#include <gtest/gtest.h>

namespace {
const QString kPrefix = "org.mpris.MediaPlayer2.";

// The names a bus lists, and the calls Media makes on it.
struct ListedBus : PlayerBus {
    QStringList listed;
    QList<QPair<QString, QString>> calls;  // bus name, method (with seek offset)

    QStringList names() override { return listed; }
    void call(const QString& busName, const PlayerCall& call) override {
        QString method = call.name();
        if (call.method == PlayerCall::Method::Seek)
            method += QString::number(call.seekMicroseconds);
        calls.append({busName, method});
    }
};

struct MediaHarness {
    ListedBus* bus;
    QStringList keys;
    std::unique_ptr<Media> media;
    explicit MediaHarness(QStringList names) {
        auto b = std::make_unique<ListedBus>();
        bus = b.get();
        bus->listed = names;
        media = std::make_unique<Media>(std::move(b), [this](const QString& k) { keys.append(k); });
    }
};

QString chosen(const QStringList& names) {
    const auto choice = MediaPlayers::choose(names);
    return choice ? choice->busName : QString();
}
}  // namespace

TEST(MediaPlayers, theFirstRowOfTheTableThatRunsIsChosenWhateverTheListOrder) {
    EXPECT_EQ(chosen({kPrefix + "rhythmbox", kPrefix + "spotify"}), kPrefix + "spotify");
    EXPECT_EQ(chosen({kPrefix + "mpv", "org.freedesktop.DBus", kPrefix + "vlc.instance77"}),
              kPrefix + "vlc.instance77");
    EXPECT_EQ(chosen({kPrefix + "io.github.celluloid_player.Celluloid", kPrefix + "totem"}),
              kPrefix + "totem");
}

TEST(MediaPlayers, namesMatchOnlyExactlyOrWithAnInstanceSuffix) {
    for (const char* other : {"VLC", "vlcx", "vlc.other", "Spotify", "mpv2"})
        EXPECT_EQ(chosen({kPrefix + other}), QString()) << other;
    EXPECT_EQ(chosen({"vlc", "org.mpris.MediaPlayer2vlc"}), QString());
    EXPECT_EQ(chosen({kPrefix + "mpv.instance"}), kPrefix + "mpv.instance");
}

TEST(Media, aPlayerWithoutTheCallGetsAKeyPressNotALaterPlayer) {
    MediaHarness h({kPrefix + "spotify", kPrefix + "mpv"});
    h.media->next();
    h.media->previous();
    h.media->playPause();
    EXPECT_EQ(h.keys, (QStringList{"right", "left"}));
    ASSERT_EQ(h.bus->calls.size(), 1);
    EXPECT_EQ(h.bus->calls[0].first, kPrefix + "mpv");

    MediaHarness none({});
    none.media->playPause();
    EXPECT_EQ(none.keys, QStringList{"space"});
}
