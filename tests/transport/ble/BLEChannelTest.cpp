// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/RouterHarness.h"
#include "support/BLEPhone.h"
#include "support/LogCapture.h"
#include "transport/ble/BLEChannel.h"

#include <gtest/gtest.h>

#include <thread>

using namespace std::chrono_literals;

namespace {
const QJsonObject kPair{{"t", "pair"}, {"code", "4321"}};

QByteArray frame(const QJsonObject& message) {
    return *FrameCodec::encode(Frame::kJSON, QJsonDocument(message).toJson(QJsonDocument::Compact));
}

// One channel over a socket pair of packets, as L2CAP gives, its session routed through a real
// router.
struct ChannelHarness : RouterHarness {
    std::optional<BLEPhone> phone;
    std::shared_ptr<BLEChannel> channel;
    int closes = 0;

    explicit ChannelHarness(BLEChannel::Limits limits = {},
                            qsizetype maxWrite = ChannelSocket::kDefaultMaxWrite) {
        int fds[2] = {-1, -1};
        ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds);
        phone.emplace(fds[0]);
        BLEChannel::Callbacks callbacks;
        callbacks.onClose = [this](BLEChannel&) { ++closes; };
        channel = BLEChannel::create(ChannelSocket(UniqueFd(fds[1]), maxWrite), *router, callbacks,
                                     limits);
        channel->open();
    }
};
}  // namespace

// One reply too large for a frame is dropped with a line, and the others still go.
TEST(BLEChannel, repliesArriveWholeAndInOrderFromAnyThreadInPacketsTheLinkTakes) {
    LogCapture log;
    ChannelHarness h({}, 20);
    const auto session = h.channel->session();
    session->sendJSON({{"t", "ab"}});
    std::thread([session] {
        for (int i = 1; i < 30; ++i) {
            if (i == 10) session->sendJSON({{"pad", QString(Frame::kMaxPayload, 'a')}});
            session->sendJSON({{"i", i}, {"pad", QString(i * 100, 'a')}});
        }
    }).join();
    ASSERT_TRUE(h.phone->waitFrames(30));
    EXPECT_EQ(log.lines().filter("does not fit in a frame; dropped").size(), 1);
    EXPECT_TRUE(
        h.phone->packets.join().startsWith(QByteArray::fromHex("0b0000") + R"({"t":"ab"})"));
    for (int i = 1; i < 30; ++i)
        EXPECT_EQ(h.phone->json(i), (QJsonObject{{"i", i}, {"pad", QString(i * 100, 'a')}}));
    for (const QByteArray& packet : h.phone->packets) EXPECT_LE(packet.size(), 20);
}

TEST(BLEChannel, typeOneIsBinaryOtherTypesAreJSONAndAHeaderOfLengthZeroEndsTheChannel) {
    LogCapture log;
    ChannelHarness h;
    h.phone->send(Frame::kBinary, R"({"t":"ping"})");
    EXPECT_EQ(h.phone->request(kPair).value("t"), "paired") << "the binary ping had no answer";
    h.phone->send(Frame::kBinary, QByteArray::fromHex("010000803f000000c0"));  // dx 1, dy -2
    h.phone->send(7, R"({"t":"ping","ts":7})");
    ASSERT_TRUE(h.phone->waitFrames(2));
    EXPECT_EQ(h.phone->json(1).value("ts"), 7);
    EXPECT_EQ(h.drain().last().at, QPointF(501, 498));
    // The frames before the header count, and nothing after it is read.
    h.phone->write(frame(kPair) + QByteArray::fromHex("000000") +
                   frame({{"t", "pair"}, {"code", "0000"}}));
    ASSERT_TRUE(h.phone->waitClosed());
    EXPECT_EQ(log.count("Client paired"), 2);
    EXPECT_EQ(log.count("Bad pairing code attempt"), 0);
    EXPECT_EQ(log.count("BLE frame of length 0; closing the channel"), 1);
}

TEST(BLEChannel, aClosedChannelLowersTheCountOnceAndAFrameAfterItRaisesItNot) {
    ChannelHarness h;
    // Another phone keeps the count above zero, where a wrong change shows.
    const auto other = std::make_shared<ClientSession>(nullptr, nullptr);
    h.router->handleJSON({{"t", "pair"}, {"code", "4321"}}, other);
    // The channel closes on the first frame; the second, read with it, still runs.
    h.phone->write(frame({{"t", "unpair"}}) + frame(kPair));
    ASSERT_TRUE(h.phone->waitClosed());
    EXPECT_EQ(h.state->connectedCount(), 1);
    h.channel->teardown();
    EXPECT_EQ(h.state->connectedCount(), 1);
}

TEST(BLEChannel, aPhoneSilentPastTheDeadlineOrLeavingItsRepliesUnreadIsCutOff) {
    LogCapture log;
    BLEChannel::Limits limits;
    limits.firstFrameDeadline = 500ms;
    limits.maxPendingBytes = 16 * 1024;
    // The talker's deadline starts first, so it has passed once the silent one is closed.
    ChannelHarness talker(limits), silent(limits);
    talker.phone->request(kPair);  // a paired phone's pongs carry its padding back
    ASSERT_TRUE(silent.phone->waitClosed());
    EXPECT_EQ(talker.closes, 0);
    // Never reads: the replies pile up in the socket, then in the channel.
    for (int i = 0; i < 500 && talker.closes == 0; ++i) {
        talker.phone->sendJSON({{"t", "ping"}, {"ts", QString(1000, 'x')}});
        QCoreApplication::processEvents();
    }
    EXPECT_TRUE(waitUntil([&] { return talker.closes == 1; }));
    EXPECT_EQ(log.lines().filter("bytes unread; closing the channel").size(), 1);
}
