#include "base/SerialQueue.h"
#include "router/RouterHarness.h"
#include "support/BLEPhone.h"
#include "support/LogCapture.h"
#include "transport/ble/BLEServer.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {
// A peripheral stack that does what the server asks and reports only when the test says.
// Touched on the server's queue only.
struct RecordingPeripheral : BLEPeripheral {
    BLEState current = BLEState::Unknown;
    int publishes = 0;
    QList<AdvertisingData> advertisements;

    void start() override {}
    BLEState state() const override { return current; }
    void publishChannel() override { ++publishes; }
    void unpublishChannel(quint16) override {}
    void addService(const GATTService&) override {}
    void startAdvertising(const AdvertisingData& data) override { advertisements.append(data); }
    void stopAdvertising() override {}
};

// The retry timer, run by hand.
struct ManualTimers {
    std::vector<std::pair<std::chrono::milliseconds, std::function<void()>>> pending;
    BLEServer::Schedule schedule() {
        return [this](std::chrono::milliseconds delay, std::function<void()> task) {
            pending.emplace_back(delay, std::move(task));
        };
    }
};

struct ServerHarness : RouterHarness {
    ManualTimers timers;
    RecordingPeripheral* peripheral = nullptr;
    std::unique_ptr<BLEServer> server;

    explicit ServerHarness(BLEServer::Limits limits = {}) {
        server = std::make_unique<BLEServer>(*state, *router, limits, timers.schedule());
        server->start([this] {
            auto p = std::make_unique<RecordingPeripheral>();
            peripheral = p.get();
            return p;
        });
    }

    template <typename F>
    void onQueue(F f) {
        server->queue().sync(f);
    }
    void radio(BLEState s) {
        onQueue([&] {
            peripheral->current = s;
            emit peripheral->stateUpdated(s);
        });
    }
    void publishFails() {
        onQueue([&] { emit peripheral->channelPublished(0, QStringLiteral("no luck")); });
    }
    // Fires the timers that are due, on the queue as the real ones would.
    void fireTimers() {
        auto due = std::move(timers.pending);
        timers.pending.clear();
        for (auto& [delay, task] : due) onQueue(task);
    }
    BLEPhone openChannel() {
        auto ends = BLEPhone::connect(SOCK_SEQPACKET);
        onQueue([&] {
            emit peripheral->channelOpened(std::make_shared<ChannelSocket>(std::move(ends.first)),
                                           std::nullopt);
        });
        return std::move(ends.second);
    }
};

QStringList bleLines(const LogCapture& log) {
    return log.lines().filter(QRegularExpression("^BLE"));
}
}  // namespace

TEST(BLEServer, sixFailedPublishesGiveFiveRetriesThreeSecondsApartThenNothing) {
    LogCapture log;
    ServerHarness h;
    h.radio(BLEState::PoweredOn);
    for (int failure = 1; failure <= 6; ++failure) {
        h.publishFails();
        if (failure == 6) break;
        ASSERT_EQ(h.timers.pending.size(), 1u);
        EXPECT_EQ(h.timers.pending[0].first, 3000ms);
        h.fireTimers();
        EXPECT_EQ(h.peripheral->publishes, 1 + failure);
    }
    EXPECT_TRUE(h.timers.pending.empty());
    EXPECT_EQ(log.lines().filter("BLE publish retry"),
              (QStringList{"BLE publish retry 1", "BLE publish retry 2", "BLE publish retry 3",
                           "BLE publish retry 4", "BLE publish retry 5"}));
    EXPECT_EQ(log.count("BLE publish L2CAP failed: no luck"), 6);

    // The next power-on brings a fresh budget.
    h.radio(BLEState::PoweredOff);
    h.radio(BLEState::PoweredOn);
    EXPECT_EQ(h.peripheral->publishes, 7);
    h.publishFails();
    ASSERT_EQ(h.timers.pending.size(), 1u);
    h.fireTimers();
    EXPECT_EQ(log.count("BLE publish retry 1"), 2);
    EXPECT_EQ(h.peripheral->publishes, 8);
}

TEST(BLEServer, aRetryDoesNothingWhileThePowerIsOffOrAfterAPowerCycle) {
    LogCapture log;
    ServerHarness h;
    h.radio(BLEState::PoweredOn);
    h.publishFails();
    h.radio(BLEState::PoweredOff);
    h.fireTimers();
    EXPECT_EQ(h.peripheral->publishes, 1);

    // A retry from before a power cycle belongs to a budget that is gone.
    h.radio(BLEState::PoweredOn);
    h.publishFails();
    h.radio(BLEState::PoweredOff);
    h.radio(BLEState::PoweredOn);
    EXPECT_EQ(h.peripheral->publishes, 3);
    h.fireTimers();
    EXPECT_EQ(h.peripheral->publishes, 3);
    EXPECT_TRUE(log.lines().filter("BLE publish retry").isEmpty());
}

// Unauthorized, unsupported, refused registrations: the fake-BlueZ test makes them happen.
TEST(BLEServer, radioStatesAndFailuresAreLoggedOnceEach) {
    LogCapture log;
    ServerHarness h;
    h.radio(BLEState::PoweredOff);
    h.radio(BLEState::Resetting);
    h.onQueue([&] {
        emit h.peripheral->channelOpened(nullptr, std::nullopt);
        emit h.peripheral->channelOpened(nullptr, QStringLiteral("Connection aborted"));
    });
    EXPECT_EQ(bleLines(log), (QStringList{
                                 "BLE state: 1",
                                 "BLE channel open failed: nil",
                                 "BLE channel open failed: Optional(Connection aborted)",
                             }));
    EXPECT_EQ(h.peripheral->publishes, 0);
    EXPECT_TRUE(h.peripheral->advertisements.isEmpty());
    EXPECT_EQ(h.server->channelCount(), 0);
}

TEST(BLEServer, aPhoneConversationRunsThroughTheRouter) {
    LogCapture log;
    ServerHarness h;
    BLEPhone phone = h.openChannel();
    EXPECT_EQ(log.count("BLE client connected"), 1);
    EXPECT_EQ(phone.request({{"t", "ping"}}).value("t"), "needpair");
    const QJsonObject paired = phone.request({{"t", "pair"}, {"code", "4321"}});
    EXPECT_EQ(paired.value("t"), "paired");
    EXPECT_EQ(paired.value("name"), "Bureau");
    EXPECT_EQ(h.state->connectedCount(), 1);
    h.take();
    phone.sendJSON({{"t", "mv"}, {"dx", 30}, {"dy", 0}});
    phone.send(Frame::kBinary, QByteArray::fromHex("010000803f000000c0"));
    EXPECT_EQ(phone.request({{"t", "ping"}, {"ts", 42}}),
              (QJsonObject{{"t", "pong"}, {"ax", true}, {"ts", 42}}));
    for (int i = 0; i < 30 && h.tick();) ++i;
    const auto events = h.take();
    ASSERT_FALSE(events.isEmpty());
    EXPECT_EQ(events.last().at, QPointF(531, 498));

    phone.sendJSON({{"t", "unpair"}, {"token", paired.value("token")}});
    EXPECT_TRUE(phone.waitClosed());
    EXPECT_TRUE(waitUntil([&] { return h.server->channelCount() == 0; }));
    EXPECT_EQ(h.state->connectedCount(), 0);
    EXPECT_FALSE(h.state->isValidToken(paired.value("token").toString()));
}

TEST(BLEServer, channelsAwaitingAuthenticationAreCappedByClosingTheOldest) {
    LogCapture log;
    BLEServer::Limits limits;
    limits.maxUnauthenticated = 2;
    ServerHarness h(limits);
    BLEPhone a = h.openChannel();
    BLEPhone b = h.openChannel();
    EXPECT_EQ(b.request({{"t", "hello"}}).value("t"), "needpair");  // speaking keeps no slot
    BLEPhone newcomer = h.openChannel();
    EXPECT_TRUE(a.waitClosed());
    EXPECT_EQ(newcomer.request({{"t", "pair"}, {"code", "4321"}}).value("t"), "paired");
    EXPECT_EQ(log.count("BLE: 2 channels await authentication; closing the oldest to make room"),
              1);
    ASSERT_TRUE(waitUntil([&] { return h.server->channelCount() == 2; }));

    BLEPhone c = h.openChannel();  // one waits, one is paired: room without closing anyone
    EXPECT_EQ(c.request({{"t", "hello"}}).value("t"), "needpair");
    EXPECT_EQ(h.server->channelCount(), 3);
    EXPECT_EQ(h.server->unauthenticatedCount(), 2);
    b.pump();
    EXPECT_FALSE(b.closed);
}
