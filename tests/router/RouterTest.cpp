// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/RouterHarness.h"

#include <QJsonArray>
#include <QtEndian>

#include <bit>
#include <tuple>

#include <gtest/gtest.h>

namespace {
// A phone talking to the router directly: what it was sent.
struct Phone {
    QList<QJsonObject> replies;
    const std::shared_ptr<ClientSession> session =
        std::make_shared<ClientSession>([this](const QJsonObject& m) { replies.append(m); }, [] {});
};

// A router with one paired phone.
struct Routed : RouterHarness {
    Phone phone;
    Routed() { send(phone, {{"t", "pair"}, {"code", "4321"}}); }
    // The reply to the message, if any.
    QJsonObject send(Phone& from, const QJsonObject& message) {
        const qsizetype before = from.replies.size();
        router->handleJSON(message, from.session);
        flush();
        return from.replies.value(before);
    }
    // What reached the desktop once the smoothing has run its course.
    QList<Event> run(const QJsonObject& message) {
        send(phone, message);
        return drain();
    }
};
}  // namespace

TEST(Router, onlyPairedPhonesActEachCountsOnceAndTheLastToLeaveReleasesADragEachItsModifiers) {
    Routed h;
    Phone other;
    EXPECT_EQ(h.send(other, {{"t", "mv"}, {"dx", 5}}),
              (QJsonObject{{"t", "needpair"}, {"name", "Bureau"}}));
    h.router->handleBinary(QByteArray::fromHex("01000080bf00000000"), other.session);
    EXPECT_TRUE(h.drain().isEmpty());
    // The first phone pairs again, the other says hello twice: two phones.
    const QString token =
        h.send(h.phone, {{"t", "pair"}, {"code", "4321"}}).value("token").toString();
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(h.send(other, {{"t", "hello"}, {"token", token}}).value("t"), "authok");
    EXPECT_EQ(h.state->connectedCount(), 2);

    h.run({{"t", "drag"}, {"down", true}});
    EXPECT_EQ(h.run({{"t", "mod"}, {"name", "alt"}, {"down", true}}).value(0).key, 56);
    h.router->sessionEnded(*h.phone.session);
    h.router->sessionEnded(*h.phone.session);
    EXPECT_EQ(h.state->connectedCount(), 1);
    const auto left = h.drain();  // Alt let go; the button still held for the other phone
    EXPECT_EQ(left.size(), 1);
    EXPECT_EQ(left.value(0).key, -56);
    h.router->sessionEnded(*other.session);
    EXPECT_EQ(h.drain().value(0).action, PointerAction::LeftUp);
}

TEST(Router, volumeIsAWholePercentHeldInRangeAndModifiersMustAllBeNames) {
    Routed h;
    auto recording = std::make_unique<RecordingVolume>();
    const RecordingVolume* volume = recording.get();
    h.input->setVolumeControl(std::move(recording));
    for (const QJsonValue& value : {QJsonValue(37.9), QJsonValue(-0.5), QJsonValue("50"),
                                    QJsonValue(1e300), QJsonValue(-1e300), QJsonValue()})
        h.send(h.phone, {{"t", "vol"}, {"value", value}});
    EXPECT_EQ(volume->writes, (QList<float>{0.37f, 0.0f, 1.0f, 0.0f}));
    // Tab alone: a list that holds anything but names holds no modifier.
    EXPECT_EQ(h.run({{"t", "key"}, {"name", "tab"}, {"mods", QJsonArray{"cmd", 3}}}).size(), 2);
}

TEST(Router, inputStampedMoreThanASecondBeforeItCameIsDroppedExceptReleasesAndUnstampedInput) {
    PageClock clock;  // the smallest gap is the offset; a NaN stamp teaches nothing
    for (auto [stamp, now, age] : {std::tuple{100.0, 1000.0, 0.0},
                                   {200, 1150, 50},
                                   {300, 1150, 0},
                                   {qQNaN(), 0, 0},
                                   {400, 91300, 90050}})
        EXPECT_EQ(clock.ageOf(stamp, now), age);

    Routed h;
    h.send(h.phone, {{"t", "ping"}, {"ts", 1e6}});
    const double old = 1e6 - 5000;
    QByteArray stamped = QByteArray::fromHex("01000080bf00000000") + QByteArray(8, 0);
    qToLittleEndian(std::bit_cast<quint64>(old), stamped.data() + 9);
    h.router->handleBinary(stamped, h.phone.session);
    EXPECT_TRUE(h.run({{"t", "click"}, {"ts", old}}).isEmpty());
    EXPECT_FALSE(h.run({{"t", "click"}}).isEmpty());
    EXPECT_FALSE(h.run({{"t", "drag"}, {"down", true}, {"ts", 1e6 + 1}}).isEmpty());
    EXPECT_EQ(h.run({{"t", "drag"}, {"down", false}, {"ts", old}}).value(0).action,
              PointerAction::LeftUp);
}

TEST(Router, volumeChangesReachOnlySessionsThatWatchOnceEachAndABurstIsReadAtMostTwice) {
    QList<VolumeWatch::Answer> reads;  // answered by hand: a burst meets a reading under way
    QList<VolumeWatch::Reading> reported;
    bool wanted = true;
    VolumeWatch watch([&](VolumeWatch::Answer a) { reads.append(std::move(a)); },
                      [&](const VolumeWatch::Reading& r) { reported.append(r); },
                      [&] { return wanted; });
    for (const VolumeWatch::Reading& r :
         {VolumeWatch::Reading{40, false, true}, {40, false, true}, {40, true, true}}) {
        for (int i = 0; i < 3; ++i) watch.changed();
        ASSERT_EQ(reads.size(), 1);
        reads.takeFirst()(r);
        if (!reads.isEmpty()) reads.takeFirst()(r);  // the burst's one more
    }
    wanted = false;  // nobody watches: nothing read, and the last reading forgotten
    watch.changed();
    wanted = true;
    watch.changed();
    reads.takeFirst()({40, true, true});
    EXPECT_EQ(reported,
              (QList<VolumeWatch::Reading>{{40, false, true}, {40, true, true}, {40, true, true}}));

    Routed h;
    auto recording = std::make_unique<RecordingVolume>();
    RecordingVolume* volume = recording.get();
    volume->reading = 0.3f;
    h.input->setVolumeControl(std::move(recording));
    Phone other;
    h.send(other, {{"t", "pair"}, {"code", "4321"}});
    EXPECT_EQ(h.send(h.phone, {{"t", "getvol"}, {"watch", true}}).value("value"), 30);
    EXPECT_EQ(h.send(other, {{"t", "getvol"}, {"watch", "yes"}}).value("value"), 30);
    const auto change = [&](float level) {
        volume->reading = level;
        h.router->volumeMayHaveChanged();
        h.flush();
    };
    change(0.7f), change(0.7f);
    EXPECT_EQ(h.phone.replies.last(),
              (QJsonObject{{"t", "vol"}, {"value", 70}, {"muted", false}, {"available", true}}));
    EXPECT_EQ(h.phone.replies.size(), 3);  // paired, the answer, one change
    h.send(h.phone, {{"t", "getvol"}, {"watch", false}});
    change(0.1f);
    EXPECT_EQ(h.phone.replies.size(), 4);
    EXPECT_EQ(other.replies.size(), 2);  // paired, the answer
}
