#include "base/SerialQueue.h"
#include "router/RouterHarness.h"
#include "transport/ble/BLEServer.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {
// A peripheral stack that counts publishes and reports only when the test says.
struct RecordingPeripheral : BLEPeripheral {
    BLEState current = BLEState::Unknown;
    int publishes = 0;

    void start() override {}
    BLEState state() const override { return current; }
    void publishChannel() override { ++publishes; }
    void unpublishChannel(quint16) override {}
    void addService(const GATTService&) override {}
    void startAdvertising(const AdvertisingData&) override {}
    void stopAdvertising() override {}
};

// A server whose retry timers the test fires by hand, on the server's queue.
struct ServerHarness : RouterHarness {
    std::vector<std::pair<std::chrono::milliseconds, std::function<void()>>> timers;
    RecordingPeripheral* peripheral = nullptr;
    std::unique_ptr<BLEServer> server;

    ServerHarness() {
        server = std::make_unique<BLEServer>(
            *state, *router, BLEServer::Limits{},
            [this](std::chrono::milliseconds delay, std::function<void()> task) {
                timers.emplace_back(delay, std::move(task));
            });
        server->start([this] {
            auto p = std::make_unique<RecordingPeripheral>();
            peripheral = p.get();
            return p;
        });
    }
    void radio(BLEState s) {
        server->queue().sync([&] {
            peripheral->current = s;
            emit peripheral->stateUpdated(s);
        });
    }
    void publishFails() {
        server->queue().sync([&] { emit peripheral->channelPublished(0, QStringLiteral("no")); });
    }
    void fireTimers() {
        for (auto& timer : std::exchange(timers, {})) server->queue().sync(timer.second);
    }
};
}  // namespace

TEST(BLEServer, publishingIsRetriedFiveTimesThreeSecondsApartPerPowerOnAndNeverLater) {
    ServerHarness h;
    h.radio(BLEState::PoweredOn);
    for (int retry = 1; retry <= 5; ++retry) {
        h.publishFails();
        ASSERT_EQ(h.timers.size(), 1u);
        EXPECT_EQ(h.timers[0].first, 3000ms);
        h.fireTimers();
    }
    h.publishFails();
    EXPECT_TRUE(h.timers.empty());
    EXPECT_EQ(h.peripheral->publishes, 6);

    h.radio(BLEState::PoweredOff);
    h.radio(BLEState::PoweredOn);
    h.publishFails();
    ASSERT_EQ(h.timers.size(), 1u) << "a new power-on brings a new budget";
    h.radio(BLEState::PoweredOff);
    h.fireTimers();  // while the power is off
    h.radio(BLEState::PoweredOn);
    h.publishFails();
    h.radio(BLEState::PoweredOff);
    h.radio(BLEState::PoweredOn);
    h.fireTimers();  // from before a power cycle
    EXPECT_EQ(h.peripheral->publishes, 9);
}
