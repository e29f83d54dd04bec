#include "router/RouterHarness.h"
#include "support/BLEPhone.h"
#include "support/LogCapture.h"
#include "transport/ble/BLEChannel.h"

#include <QJsonArray>

#include <sys/ioctl.h>

#include <gtest/gtest.h>

#include <thread>

using namespace std::chrono_literals;

namespace {
const QByteArray kMove = QByteArray::fromHex("010000803f000000c0");  // dx 1, dy -2

// One channel over a real socket pair, its session routed through a real router.
struct ChannelHarness : RouterHarness {
    std::optional<BLEPhone> phone;
    int agentFd = -1;
    std::shared_ptr<BLEChannel> channel;
    int closes = 0;
    int authentications = 0;

    explicit ChannelHarness(int type = SOCK_STREAM, BLEChannel::Limits limits = {},
                            qsizetype maxWrite = ChannelSocket::kDefaultMaxWrite,
                            int sendBuffer = 0) {
        auto [socket, end] = BLEPhone::connect(type, maxWrite);
        agentFd = socket.fd();
        if (sendBuffer > 0)
            setsockopt(agentFd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
        phone.emplace(std::move(end));
        BLEChannel::Callbacks callbacks;
        callbacks.onClose = [this](BLEChannel&) { ++closes; };
        callbacks.onAuthenticated = [this](BLEChannel&) { ++authentications; };
        channel = BLEChannel::create(std::move(socket), *router, callbacks, limits);
        channel->open();
    }

    // Bytes the channel has not read yet.
    int unread() const {
        int n = 0;
        ioctl(agentFd, FIONREAD, &n);
        return n;
    }
    QList<Event> moves() {
        for (int i = 0; i < 4; ++i) tick();
        return take();
    }
};

QByteArray json(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}
}  // namespace

TEST(BLEChannel, aReplyIsOneFrameOfCompactJSONFromWhicheverThreadSendsIt) {
    ChannelHarness h;
    h.channel->session()->sendJSON({{"t", "ab"}});
    ASSERT_TRUE(h.phone->waitFrames(1));
    EXPECT_EQ(h.phone->raw, QByteArray::fromHex("0b0000") + R"({"t":"ab"})");

    const auto session = h.channel->session();
    std::thread([session] {
        for (int i = 0; i < 50; ++i) session->sendJSON({{"t", "n"}, {"i", i}});
    }).join();
    ASSERT_TRUE(h.phone->waitFrames(51));
    for (int i = 0; i < 50; ++i) EXPECT_EQ(h.phone->json(1 + i).value("i"), i);
}

TEST(BLEChannel, framesAreDispatchedInOrderHoweverTheReadsCutThem) {
    ChannelHarness h;
    ASSERT_TRUE(h.phone->write(*FrameCodec::encode(0, json({{"t", "pair"}, {"code", "4321"}})) +
                               *FrameCodec::encode(0, json({{"t", "ping"}, {"ts", 1}}))));
    ASSERT_TRUE(h.phone->waitFrames(2));
    EXPECT_EQ(h.phone->json(0).value("t"), "paired");
    EXPECT_EQ(h.phone->json(1).value("ts"), 1);
    EXPECT_EQ(h.authentications, 1);

    const QByteArray ping = *FrameCodec::encode(0, json({{"t", "ping"}, {"ts", 2}}));
    for (const QByteArray& piece : {ping.left(2), ping.mid(2, 5), ping.mid(7)}) {
        ASSERT_EQ(h.phone->frames.size(), 2);
        h.phone->write(piece);
        ASSERT_TRUE(waitUntil([&] { return h.unread() == 0; }));
        QCoreApplication::processEvents();
        h.phone->pump();
    }
    ASSERT_TRUE(h.phone->waitFrames(3));
    EXPECT_EQ(h.phone->json(2).value("ts"), 2);
    EXPECT_EQ(h.phone->request({{"t", "ping"}, {"ts", 3}}).value("ts"), 3) << "dispatched once";
}

TEST(BLEChannel, typeOneIsBinaryAndEveryOtherTypeIsJSON) {
    ChannelHarness h(SOCK_SEQPACKET);
    ASSERT_EQ(h.phone->request({{"t", "pair"}, {"code", "4321"}}).value("t"), "paired");
    h.take();
    h.phone->send(Frame::kBinary, {});
    h.phone->send(Frame::kBinary, json({{"t", "ping"}, {"ts", "binary"}}));
    h.phone->send(Frame::kBinary, kMove);
    h.phone->send(7, json({{"t", "ping"}, {"ts", "seven"}}));
    ASSERT_TRUE(h.phone->waitFrames(2));
    EXPECT_EQ(h.phone->json(1).value("ts"), "seven");
    const auto moves = h.moves();
    ASSERT_FALSE(moves.isEmpty());
    EXPECT_EQ(moves.last().at, QPointF(501, 498));
}

TEST(BLEChannel, framesThatAreNoObjectAreDroppedAndTheNextIsHandled) {
    ChannelHarness h;
    h.phone->send(0, "[1,2]");
    h.phone->send(0, "not json");
    h.phone->send(0, json({{"t", 1}}));
    h.phone->send(0, {});
    EXPECT_EQ(h.phone->request({{"t", "ping"}}).value("t"), "needpair");
    EXPECT_EQ(h.phone->frames.size(), 1);
    EXPECT_FALSE(h.phone->closed);
}

TEST(BLEChannel, aHeaderOfLengthZeroClosesTheChannelWithOneLine) {
    LogCapture log;
    ChannelHarness h;
    h.phone->write(*FrameCodec::encode(0, json({{"t", "pair"}, {"code", "4321"}})) +
                   QByteArray::fromHex("000000") +
                   *FrameCodec::encode(0, json({{"t", "pair"}, {"code", "0000"}})));
    ASSERT_TRUE(h.phone->waitClosed());
    EXPECT_EQ(log.count("Client paired"), 1) << "the frame before the bad header was handled";
    EXPECT_EQ(log.count("Bad pairing code attempt"), 0) << "and none after it";
    EXPECT_EQ(h.state->connectedCount(), 0);
    EXPECT_EQ(log.count("BLE frame of length 0; closing the channel"), 1);
    EXPECT_EQ(log.count("BLE client disconnected"), 1);
    EXPECT_EQ(h.closes, 1);
}

TEST(BLEChannel, tearingDownTwiceLowersTheCountOnce) {
    LogCapture log;
    ChannelHarness h;
    ASSERT_EQ(h.phone->request({{"t", "pair"}, {"code", "4321"}}).value("t"), "paired");
    EXPECT_EQ(h.state->connectedCount(), 1);
    h.channel->session()->close();
    h.channel->session()->close();
    EXPECT_EQ(h.state->connectedCount(), 0);
    EXPECT_EQ(h.closes, 2);
    EXPECT_EQ(log.count("BLE client disconnected"), 2);
    EXPECT_TRUE(h.phone->waitClosed());

    h.channel->session()->sendJSON({{"t", "late"}});  // nothing to send it on
    QCoreApplication::processEvents();
}

TEST(BLEChannel, framesAfterACloseInTheSameReadAreHandledButCountNoPhone) {
    LogCapture log;
    ChannelHarness h;
    h.phone->write(*FrameCodec::encode(0, json({{"t", "unpair"}})) +
                   *FrameCodec::encode(0, json({{"t", "pair"}, {"code", "4321"}})));
    ASSERT_TRUE(h.phone->waitClosed());
    EXPECT_EQ(log.count("Client paired"), 1);
    EXPECT_EQ(h.state->connectedCount(), 0);
    EXPECT_EQ(h.closes, 1);
}

TEST(BLEChannel, aPhoneThatHangsUpMidDragLeavesNoButtonHeld) {
    ChannelHarness h(SOCK_SEQPACKET);
    h.phone->request({{"t", "pair"}, {"code", "4321"}});
    h.phone->sendJSON({{"t", "drag"}, {"down", true}});
    h.phone->request({{"t", "ping"}});
    h.phone->hangUp();
    ASSERT_TRUE(waitUntil([&] { return h.closes == 1; }));
    EXPECT_EQ(h.state->connectedCount(), 0);
    const auto events = h.take();
    ASSERT_EQ(events.size(), 2);
    EXPECT_EQ(events[0].action, PointerAction::LeftDown);
    EXPECT_EQ(events[1].action, PointerAction::LeftUp);
}

TEST(BLEChannel, aReplyTooLargeForAFrameIsDroppedAndTheChannelKept) {
    LogCapture log;
    ChannelHarness h;
    const QJsonObject big{{"t", "big"}, {"pad", QString(70000, QLatin1Char('a'))}};
    h.channel->session()->sendJSON(big);
    EXPECT_EQ(h.phone->request({{"t", "ping"}}).value("t"), "needpair");
    EXPECT_EQ(h.phone->frames.size(), 1);
    EXPECT_EQ(log.count(QStringLiteral("BLE reply of %1 bytes does not fit in a frame; dropped")
                            .arg(json(big).size())),
              1);
}

TEST(BLEChannel, longRepliesArriveWholeThroughPartialWrites) {
    ChannelHarness h(SOCK_STREAM, {}, ChannelSocket::kDefaultMaxWrite, 4096);
    for (int i = 0; i < 3; ++i)
        h.channel->session()->sendJSON(
            {{"t", "big"}, {"i", i}, {"pad", QString(60000, QLatin1Char('a' + i))}});
    ASSERT_TRUE(h.phone->waitFrames(3));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(h.phone->json(i).value("i"), i);
        EXPECT_EQ(h.phone->json(i).value("pad").toString(), QString(60000, QLatin1Char('a' + i)));
    }
}

TEST(BLEChannel, noWriteIsLargerThanTheLinkTakes) {
    ChannelHarness h(SOCK_SEQPACKET, {}, 20);
    ASSERT_EQ(h.phone->request({{"t", "pair"}, {"code", "4321"}}).value("t"), "paired");
    EXPECT_GT(h.phone->packets.size(), 1);
    for (const QByteArray& packet : h.phone->packets) EXPECT_LE(packet.size(), 20);
}

TEST(BLEChannel, aPhoneThatLeavesItsRepliesUnreadIsCutOff) {
    LogCapture log;
    BLEChannel::Limits limits;
    limits.maxPendingBytes = 16 * 1024;
    ChannelHarness h(SOCK_STREAM, limits, ChannelSocket::kDefaultMaxWrite, 4096);
    ASSERT_EQ(h.phone->request({{"t", "pair"}, {"code", "4321"}}).value("t"), "paired");
    const QString pad(1000, QLatin1Char('x'));
    bool cutOff = false;
    // Never reads: the replies pile up in the socket, then in the channel.
    for (int i = 0; i < 200 && !cutOff; ++i) {
        cutOff = !h.phone->sendJSON({{"t", "ping"}, {"ts", pad}});
        QCoreApplication::processEvents();
        cutOff = cutOff || h.closes > 0;
    }
    EXPECT_TRUE(waitUntil([&] { return h.closes == 1; }));
    const QStringList lines = log.lines().filter("bytes unread; closing the channel");
    EXPECT_EQ(lines.size(), 1);
}

TEST(BLEChannel, aChannelThatNeverSpeaksIsClosedAtTheDeadline) {
    BLEChannel::Limits limits;
    limits.firstFrameDeadline = 500ms;
    // The talker's deadline starts first, so it has passed once the silent one is closed.
    ChannelHarness talker(SOCK_STREAM, limits);
    ChannelHarness silent(SOCK_STREAM, limits);
    ASSERT_TRUE(talker.phone->sendJSON({{"t", "hello"}}));
    ASSERT_TRUE(silent.phone->waitClosed());
    EXPECT_EQ(silent.closes, 1);
    ASSERT_TRUE(talker.phone->waitFrames(1));
    EXPECT_EQ(talker.phone->json(0).value("t"), "needpair");
    QCoreApplication::processEvents();
    EXPECT_EQ(talker.closes, 0);
    EXPECT_EQ(talker.phone->request({{"t", "ping"}}).value("t"), "needpair");
}
